#include "PeerPolicy.h"

#include <unistd.h>

#include <optional>

namespace kelvo::driver {

PeerPolicy::PeerPolicy(std::shared_ptr<SeatSessions> seats, std::string groupName)
    : seats(std::move(seats)), group(std::move(groupName)) {}

PeerPolicy::Verdict PeerPolicy::judge(uid_t uid, gid_t gid) const {
  // A peer of the driver's own uid could do all the driver does anyway; for the installed driver that is root.
  if (uid == 0 || uid == ::geteuid()) return Verdict::kRootOrSelf;
  const std::optional<gid_t> groupId = DriverGroup::idOf(group);
  if (groupId && DriverGroup::includes(*groupId, uid, gid)) return Verdict::kGroupMember;
  if (seats && seats->hasActiveLocalSession(uid)) return Verdict::kSeated;
  return Verdict::kRefused;
}

}  // namespace kelvo::driver
