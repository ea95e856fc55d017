#include "SingleInstance.h"

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

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
