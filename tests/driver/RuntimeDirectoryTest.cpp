// SPDX-License-Identifier: Apache-2.0
// The driver's runtime directory, where its sockets live: made or taken only when it is the driver's own and
// nobody else may write into it, never through a symbolic link.

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <functional>

#include "Driver.h"
#include "FixedSeatSessions.h"
#include "TempDirectory.h"

namespace kelvo::driver {
namespace {

mode_t modeOf(const std::string& path) {
  struct stat status {};
  return ::lstat(path.c_str(), &status) == 0 ? status.st_mode : 0;
}

bool prepare(const std::string& runtime) {
  Driver driver(runtime, std::make_shared<PeerPolicy>(std::make_shared<test::FixedSeatSessions>()));
  return driver.prepareRuntimeDirectory();
}

TEST(RuntimeDirectoryTest, AMissingDirectoryIsMadeAndOneOfTheDriversOwnIsSetToItsMode) {
  test::TempDirectory files;
  const std::string runtime = files.file("run/trevalon");
  ASSERT_TRUE(prepare(runtime));
  EXPECT_EQ(modeOf(runtime), S_IFDIR | 0755);
  ASSERT_EQ(::chmod(runtime.c_str(), 0700), 0);
  ASSERT_TRUE(prepare(runtime));
  EXPECT_EQ(modeOf(runtime), S_IFDIR | 0755);
  // Made by a shell whose umask lets the user's own group write: that group is the driver's, so it is tightened.
  ASSERT_EQ(::chmod(runtime.c_str(), 0775), 0);
  ASSERT_TRUE(prepare(runtime));
  EXPECT_EQ(modeOf(runtime), S_IFDIR | 0755);
}

TEST(RuntimeDirectoryTest, ALinkAFileAnotherOwnerOrWriteAccessForOthersIsRefusedAndLeftAsItIs) {
  test::TempDirectory files;
  const std::string runtime = files.file("run");
  const std::string elsewhere = files.file("elsewhere");
  struct Case {
    const char* what;
    std::function<int()> make;  // 0 when made
    mode_t expectedMode;        // what is at the path afterwards
  };
  const std::vector<Case> cases = {
      {"a symbolic link to a directory of the driver's",
       [&] { return ::mkdir(elsewhere.c_str(), 0700) == 0 ? ::symlink(elsewhere.c_str(), runtime.c_str()) : -1; },
       S_IFLNK | 0777},
      {"a dangling symbolic link", [&] { return ::symlink(elsewhere.c_str(), runtime.c_str()); }, S_IFLNK | 0777},
      {"a directory writable by all",
       [&] { return ::mkdir(runtime.c_str(), 0700) == 0 ? ::chmod(runtime.c_str(), 0777) : -1; }, S_IFDIR | 0777},
      {"a directory writable by another group",
       [&] {
         if (::geteuid() != 0) return -1;
         if (::mkdir(runtime.c_str(), 0700) != 0 || ::chown(runtime.c_str(), 0, 65534) != 0) return -1;
         return ::chmod(runtime.c_str(), 0775);
       },
       S_IFDIR | 0775},
      {"a regular file", [&] { return ::close(::open(runtime.c_str(), O_CREAT | O_WRONLY | O_CLOEXEC, 0644)); },
       S_IFREG | 0644},
      {"a directory of another user",
       [&] {
         if (::geteuid() != 0) return -1;
         return ::mkdir(runtime.c_str(), 0700) == 0 ? ::chown(runtime.c_str(), 65534, 65534) : -1;
       },
       S_IFDIR | 0700},
  };
  for (const Case& each : cases) {
    if (each.make() != 0) {
      ASSERT_NE(::geteuid(), 0u) << "cannot make " << each.what;
      continue;  // another user's or group's directory takes root to make
    }
    EXPECT_FALSE(prepare(runtime)) << each.what;
    EXPECT_EQ(modeOf(runtime), each.expectedMode) << each.what;
    if (std::string(each.what).find("to a directory") != std::string::npos) {
      EXPECT_EQ(modeOf(elsewhere), S_IFDIR | 0700) << "the mode went through the link";
    }
    std::filesystem::remove_all(runtime);
    std::filesystem::remove_all(elsewhere);
  }
}

}  // namespace
}  // namespace kelvo::driver
