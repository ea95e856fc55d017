// SPDX-License-Identifier: Apache-2.0
// The driver's log file under the logging switch: written only when the marker exists, bounded, and readable by
// the driver and its group only, whatever was there before.

#include "RotatingLogFile.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <sstream>

#include "TempDirectory.h"
#include "TestUsers.h"

namespace kelvo::driver {
namespace {

constexpr const char* kNoSuchGroup = "kelvo-test-no-such-group";

struct stat statusOf(const std::string& path) {
  struct stat status {};
  ::lstat(path.c_str(), &status);
  return status;
}

void writeFile(const std::string& path, const std::string& text, mode_t mode) {
  std::ofstream(path) << text;
  ::chmod(path.c_str(), mode);
}

std::string contentOf(const std::string& path) {
  std::ifstream file(path);
  std::stringstream text;
  text << file.rdbuf();
  return text.str();
}

TEST(RotatingLogFileTest, FileNeverGrowsPastItsLimitAndTheOlderHalfIsKept) {
  test::TempDirectory directory;
  const std::string path = directory.file("driver.log");
  RotatingLogFile log(path, 100);
  for (int i = 0; i < 30; ++i) log.write("line " + std::to_string(i) + " of the driver log\n");
  EXPECT_LE(std::filesystem::file_size(path), 100u);
  EXPECT_LE(std::filesystem::file_size(path + ".1"), 100u);
  EXPECT_NE(contentOf(path).find("line 29 of the driver log\n"), std::string::npos);
  const std::string older = contentOf(path + ".1");
  EXPECT_EQ(older.find("line 0 "), std::string::npos) << "only one older file is kept";
  EXPECT_FALSE(std::filesystem::exists(path + ".2"));
}

TEST(RotatingLogFileTest, LinesWithoutTheirNewlineStillGetOneLineEach) {
  test::TempDirectory directory;
  RotatingLogFile log(directory.file("driver.log"));
  log.write("first");
  log.write("second\n");
  EXPECT_EQ(contentOf(directory.file("driver.log")), "first\nsecond\n");
}

TEST(RotatingLogFileTest, EnabledOnlyByTheLoggingMarker) {
  test::TempDirectory directory;
  EXPECT_FALSE(RotatingLogFile::enableIfMarked(directory.path()));
  EXPECT_FALSE(std::filesystem::exists(directory.file("driver.log")));
}

TEST(RotatingLogFileTest, BothFilesAreForTheDriverAndItsGroupOnlyAfterCreationAndAfterRotation) {
  test::TempDirectory directory;
  const std::string path = directory.file("driver.log");
  // As root the files go to a group the machine has; otherwise to no group change at all.
  const std::optional<test::TestUsers::Member> member =
      ::geteuid() == 0 ? test::TestUsers::memberOfItsOwnGroup() : std::nullopt;
  RotatingLogFile log(path, 100, member ? member->groupName : kNoSuchGroup);
  log.write("first line\n");
  EXPECT_EQ(statusOf(path).st_mode, S_IFREG | 0640);
  for (int i = 0; i < 30; ++i) log.write("line " + std::to_string(i) + " of the driver log\n");
  ASSERT_TRUE(std::filesystem::exists(path + ".1")) << "no rotation happened";
  for (const std::string& file : {path, path + ".1"}) {
    EXPECT_EQ(statusOf(file).st_mode, S_IFREG | 0640) << file;
    if (member) {
      EXPECT_EQ(statusOf(file).st_gid, member->group) << file;
    }
  }
}

TEST(RotatingLogFileTest, FilesAnEarlierVersionLeftReadableByAllAreTightenedAndKept) {
  test::TempDirectory directory;
  const std::string path = directory.file("driver.log");
  writeFile(path, "current\n", 0644);
  writeFile(path + ".1", "older\n", 0666);
  RotatingLogFile log(path, RotatingLogFile::kDefaultLimit, kNoSuchGroup);
  log.write("next");
  EXPECT_EQ(statusOf(path).st_mode, S_IFREG | 0640);
  EXPECT_EQ(statusOf(path + ".1").st_mode, S_IFREG | 0640);
  EXPECT_EQ(contentOf(path), "current\nnext\n");
  EXPECT_EQ(contentOf(path + ".1"), "older\n");
}

TEST(RotatingLogFileTest, ALinkInPlaceOfEitherFileIsNeverFollowed) {
  test::TempDirectory directory;
  const std::string path = directory.file("driver.log");
  const std::string target = directory.file("shadow");
  writeFile(target, "secret\n", 0600);
  ASSERT_EQ(::symlink(target.c_str(), path.c_str()), 0);
  ASSERT_EQ(::symlink(target.c_str(), (path + ".1").c_str()), 0);
  RotatingLogFile log(path, RotatingLogFile::kDefaultLimit, kNoSuchGroup);
  EXPECT_FALSE(log.isOpen());
  log.write("line for the log");
  EXPECT_EQ(contentOf(target), "secret\n");
  EXPECT_EQ(statusOf(target).st_mode, S_IFREG | 0600);
  EXPECT_TRUE(S_ISLNK(statusOf(path).st_mode));
}

TEST(RotatingLogFileTest, AFileOfAnotherUserIsNotWrittenTo) {
  if (::geteuid() != 0) GTEST_SKIP() << "giving a file to another user takes root";
  test::TempDirectory directory;
  const std::string path = directory.file("driver.log");
  writeFile(path, "theirs\n", 0644);
  ASSERT_EQ(::chown(path.c_str(), test::TestUsers::kNobody, test::TestUsers::kNoGroup), 0);
  RotatingLogFile log(path, RotatingLogFile::kDefaultLimit, kNoSuchGroup);
  EXPECT_FALSE(log.isOpen());
  log.write("line for the log");
  EXPECT_EQ(contentOf(path), "theirs\n");
  EXPECT_EQ(statusOf(path).st_mode, S_IFREG | 0644);
}

}  // namespace
}  // namespace kelvo::driver
