// SPDX-License-Identifier: Apache-2.0
#include "SingleInstance.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <fstream>
#include <functional>

#include "TempDirectory.h"

namespace {

using Claim = SingleInstance::Claim;

TEST(SingleInstanceTest, SecondClaimFailsWhileTheFirstHoldsTheLock) {
  kelvo::test::TempDirectory directory;
  SingleInstance first(directory.file("KelvoCentral.lock"));
  SingleInstance second(directory.file("KelvoCentral.lock"));
  ASSERT_EQ(first.claim(), Claim::acquired);
  EXPECT_EQ(second.claim(), Claim::heldByAnother);
  first.release();
  EXPECT_EQ(second.claim(), Claim::acquired);
}

TEST(SingleInstanceTest, LockOfAKilledProcessDoesNotBlockTheNextStart) {
  kelvo::test::TempDirectory directory;
  const std::string path = directory.file("KelvoCentral.lock");
  int ready[2];
  ASSERT_EQ(::pipe(ready), 0);
  const pid_t child = ::fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    SingleInstance holder(path);
    const char result = holder.claim() == Claim::acquired ? 'y' : 'n';
    (void)::write(ready[1], &result, 1);
    ::pause();
    ::_exit(0);
  }
  char result = 0;
  ASSERT_EQ(::read(ready[0], &result, 1), 1);
  ASSERT_EQ(result, 'y');
  SingleInstance next(path);
  EXPECT_EQ(next.claim(), Claim::heldByAnother);

  ::kill(child, SIGKILL);
  int status = 0;
  ::waitpid(child, &status, 0);
  EXPECT_EQ(next.claim(), Claim::acquired);
  ::close(ready[0]);
  ::close(ready[1]);
}

TEST(SingleInstanceTest, MissingDirectoryIsReportedNotTakenForAnotherInstance) {
  SingleInstance instance("/nonexistent-kelvo-directory/KelvoCentral.lock");
  EXPECT_EQ(instance.claim(), Claim::unavailable);
  EXPECT_NE(instance.failure().find("/nonexistent-kelvo-directory"), std::string::npos);
}

// What another user can leave at the lock's name, in a shared /tmp or through a runtime directory it may write.
struct UntrustedLockCase {
  const char* name;
  // Plants the file at the path; false when this kind cannot be made by the user running the tests.
  std::function<bool(const kelvo::test::TempDirectory&, const std::string&)> plant;
  const char* reason;
};

class SingleInstanceUntrustedLockTest : public ::testing::TestWithParam<UntrustedLockCase> {};

// The planted file is even locked, as its owner would keep it: had it been trusted, the claim would have said
// "held by another" and the application would have quietly refused to start.
TEST_P(SingleInstanceUntrustedLockTest, IsRefusedWithTheReasonInsteadOfTakenForAnotherInstance) {
  kelvo::test::TempDirectory directory;
  const std::string path = directory.file("KelvoCentral.lock");
  if (!GetParam().plant(directory, path)) GTEST_SKIP() << "only root can give a file to another user";
  const int holder = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
  if (holder >= 0) {
    ASSERT_EQ(::flock(holder, LOCK_EX | LOCK_NB), 0);
  }

  SingleInstance instance(path);
  EXPECT_EQ(instance.claim(), Claim::unavailable);
  EXPECT_NE(instance.failure().find(path), std::string::npos) << instance.failure();
  EXPECT_NE(instance.failure().find(GetParam().reason), std::string::npos) << instance.failure();
  if (holder >= 0) ::close(holder);
}

bool writeFile(const std::string& path) { return static_cast<bool>(std::ofstream(path) << "planted"); }

INSTANTIATE_TEST_SUITE_P(
    Planted, SingleInstanceUntrustedLockTest,
    ::testing::Values(UntrustedLockCase{"FileOfAnotherUser",
                                        [](const kelvo::test::TempDirectory&, const std::string& path) {
                                          return ::geteuid() == 0 && writeFile(path) &&
                                                 ::chown(path.c_str(), 65534, 65534) == 0;
                                        },
                                        "belongs to uid 65534, not to this user"},
                      UntrustedLockCase{"SymbolicLinkToOurOwnFile",
                                        [](const kelvo::test::TempDirectory& directory, const std::string& path) {
                                          return writeFile(directory.file("own")) &&
                                                 ::symlink(directory.file("own").c_str(), path.c_str()) == 0;
                                        },
                                        "symbolic link"},
                      UntrustedLockCase{"Fifo",
                                        [](const kelvo::test::TempDirectory&, const std::string& path) {
                                          return ::mkfifo(path.c_str(), 0600) == 0;
                                        },
                                        "is not a regular file"}),
    [](const ::testing::TestParamInfo<UntrustedLockCase>& info) { return std::string(info.param.name); });

TEST(SingleInstanceTest, LockLivesInTheSessionRuntimeDirectory) {
  const char* previous = std::getenv("XDG_RUNTIME_DIR");
  const std::string saved = previous != nullptr ? previous : "";
  ::setenv("XDG_RUNTIME_DIR", "/run/user/4711", 1);
  EXPECT_EQ(SingleInstance::defaultLockFilePath(), "/run/user/4711/KelvoCentral.lock");
  if (previous != nullptr) {
    ::setenv("XDG_RUNTIME_DIR", saved.c_str(), 1);
  } else {
    ::unsetenv("XDG_RUNTIME_DIR");
  }
}

}  // namespace
