// SPDX-License-Identifier: Apache-2.0
#include "DriverGroup.h"

#include <grp.h>
#include <pwd.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <vector>

namespace kelvo::driver {
namespace {

// The buffer size the C library suggests for the reentrant user database calls, with a floor for those that
// suggest none; a member list longer than that is retried with more room.
size_t initialBufferSize() {
  const long suggested = ::sysconf(_SC_GETGR_R_SIZE_MAX);
  return suggested > 0 ? static_cast<size_t>(suggested) : 16384;
}

}  // namespace

std::optional<gid_t> DriverGroup::idOf(const std::string& name) {
  std::vector<char> buffer(initialBufferSize());
  for (;;) {
    group entry{};
    group* found = nullptr;
    const int error = ::getgrnam_r(name.c_str(), &entry, buffer.data(), buffer.size(), &found);
    if (error == ERANGE && buffer.size() < (1u << 24)) {
      buffer.resize(buffer.size() * 2);
      continue;
    }
    if (error != 0 || found == nullptr) return std::nullopt;
    return found->gr_gid;
  }
}

bool DriverGroup::includes(gid_t group, uid_t uid, gid_t peerGid) {
  if (peerGid == group) return true;
  std::vector<char> buffer(initialBufferSize());
  passwd entry{};
  passwd* found = nullptr;
  while (::getpwuid_r(uid, &entry, buffer.data(), buffer.size(), &found) == ERANGE && buffer.size() < (1u << 24)) {
    buffer.resize(buffer.size() * 2);
  }
  if (found == nullptr) return false;
  std::vector<gid_t> groups(32);
  for (;;) {
    int count = static_cast<int>(groups.size());
    if (::getgrouplist(found->pw_name, found->pw_gid, groups.data(), &count) >= 0) {
      groups.resize(static_cast<size_t>(count));
      break;
    }
    // -1 means too small; count now holds the size needed.
    if (static_cast<size_t>(count) <= groups.size()) return false;
    groups.resize(static_cast<size_t>(count));
  }
  return std::find(groups.begin(), groups.end(), group) != groups.end();
}

}  // namespace kelvo::driver
