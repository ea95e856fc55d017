// SPDX-License-Identifier: Apache-2.0
#pragma once
// The driver's group (`kelvo`, made by the sysusers.d file shipped with the driver): its members may use every
// reader and read the driver's log. The group is looked up anew each time, so a group created or changed while
// the driver runs counts at once. The name is a parameter so that tests can use a group the machine already has.

#include <sys/types.h>

#include <optional>
#include <string>

namespace kelvo::driver {

class DriverGroup {
 public:
  static constexpr const char* kName = "kelvo";

  // The group's id, or nothing when the machine has no such group.
  static std::optional<gid_t> idOf(const std::string& name);
  // True when the user database puts `uid` in `group` (as primary or supplementary group), or the peer's own
  // gid is the group. A uid without a user entry is judged by its gid alone.
  static bool includes(gid_t group, uid_t uid, gid_t peerGid);
};

}  // namespace kelvo::driver
