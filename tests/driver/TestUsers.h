// SPDX-License-Identifier: Apache-2.0
#pragma once
// Users the access tests act as, taken from the machine as it is (the tests change nothing in /etc): a user of
// the user database whose primary group is of its own stands in for a member of the driver's group, with that
// group standing in for the driver's; uids without a user entry stand in for seated and for unrelated users.

#include <grp.h>
#include <pwd.h>
#include <unistd.h>

#include <optional>
#include <string>

namespace kelvo::test {

struct TestUsers {
  static constexpr uid_t kNobody = 65534;
  static constexpr gid_t kNoGroup = 65534;

  struct Member {
    uid_t uid;
    gid_t group;
    std::string groupName;
  };

  // A user other than root and nobody whose primary group is a group other than root's and nobody's, and which
  // nobody is not in.
  static std::optional<Member> memberOfItsOwnGroup() {
    std::optional<Member> found;
    ::setpwent();
    while (passwd* entry = ::getpwent()) {
      if (entry->pw_uid == 0 || entry->pw_uid == kNobody || entry->pw_gid == 0 || entry->pw_gid == kNoGroup) continue;
      const group* primary = ::getgrgid(entry->pw_gid);
      if (primary == nullptr || includesNobody(primary)) continue;
      found = Member{entry->pw_uid, entry->pw_gid, primary->gr_name};
      break;
    }
    ::endpwent();
    return found;
  }

  // A uid from `from` upward that no user entry names, so only the peer's own gid and the seat can speak for it.
  static uid_t unknownUid(uid_t from) {
    uid_t uid = from;
    while (::getpwuid(uid) != nullptr) ++uid;
    return uid;
  }

 private:
  static bool includesNobody(const group* entry) {
    for (char** member = entry->gr_mem; *member != nullptr; ++member) {
      if (std::string(*member) == "nobody") return true;
    }
    return false;
  }
};

}  // namespace kelvo::test
