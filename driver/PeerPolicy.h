// SPDX-License-Identifier: Apache-2.0
#pragma once
// Who may drive the readers through the driver, judged by the credentials the kernel gives for a socket's peer
// (SO_PEERCRED), never by anything the peer says. Served are root (and the driver's own uid, when a developer runs
// it as a user), members of the driver's group, and a uid with an active local session on a seat; these are the
// readers' users and may make every request the application makes. Anyone else (another local user, a remote
// login, a system service) is refused. A card channel carries PINs and is served to root and the driver's own uid
// only (Scope::kRootOnly): there pcscd is the one client.

#include <sys/types.h>

#include <memory>
#include <string>

#include "DriverGroup.h"
#include "SeatSessions.h"

namespace kelvo::driver {

class PeerPolicy {
 public:
  enum class Verdict { kRootOrSelf, kGroupMember, kSeated, kRefused };
  enum class Scope { kReaderUsers, kRootOnly };

  explicit PeerPolicy(std::shared_ptr<SeatSessions> seats, std::string groupName = DriverGroup::kName);
  static std::shared_ptr<const PeerPolicy> rootOnly();

  Verdict judge(uid_t uid, gid_t gid) const;
  const std::string& groupName() const { return group; }
  // Who is served, for the line that tells of a refused peer.
  std::string servedPeers() const;

 private:
  explicit PeerPolicy(Scope scope);

  const Scope scope = Scope::kReaderUsers;
  const std::shared_ptr<SeatSessions> seats;
  const std::string group;
};

}  // namespace kelvo::driver
