// SPDX-License-Identifier: Apache-2.0
#include "PeerPolicy.h"

#include <unistd.h>

#include <optional>

namespace kelvo::driver {

PeerPolicy::PeerPolicy(std::shared_ptr<SeatSessions> seats, std::string groupName)
    : seats(std::move(seats)), group(std::move(groupName)) {}

PeerPolicy::PeerPolicy(Scope scope) : scope(scope) {}

std::shared_ptr<const PeerPolicy> PeerPolicy::rootOnly() {
  return std::shared_ptr<const PeerPolicy>(new PeerPolicy(Scope::kRootOnly));
}

std::string PeerPolicy::servedPeers() const {
  if (scope == Scope::kRootOnly) return "not root";
  return "not root, not in group " + group + ", not at a seat";
}

PeerPolicy::Verdict PeerPolicy::judge(uid_t uid, gid_t gid) const {
  // A peer of the driver's own uid could do all the driver does anyway; for the installed driver that is root.
  if (uid == 0 || uid == ::geteuid()) return Verdict::kRootOrSelf;
  if (scope == Scope::kRootOnly) return Verdict::kRefused;
  const std::optional<gid_t> groupId = DriverGroup::idOf(group);
  if (groupId && DriverGroup::includes(*groupId, uid, gid)) return Verdict::kGroupMember;
  if (seats && seats->hasActiveLocalSession(uid)) return Verdict::kSeated;
  return Verdict::kRefused;
}

}  // namespace kelvo::driver
