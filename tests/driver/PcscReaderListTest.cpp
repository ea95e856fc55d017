// SPDX-License-Identifier: Apache-2.0
// pcscd's reader list: paths its syntax cannot hold are refused, and the file is replaced whole, never written
// through a link planted in the runtime directory, and left alone when the set of readers has not changed (every
// change restarts pcscd).

#include "PcscReaderList.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <fstream>
#include <sstream>

#include "Driver.h"
#include "FixedSeatSessions.h"
#include "TempDirectory.h"

namespace kelvo::driver {
namespace {

std::string fileText(const std::string& path) {
  std::ifstream file(path);
  std::stringstream text;
  text << file.rdbuf();
  return text.str();
}

TEST(PcscReaderListTest, PathsTheReaderConfigurationCannotHoldAreRefused) {
  const struct {
    std::string path;
    bool carried;
  } cases[] = {
      {"/run/trevalon", true},     {"/usr/lib/pcsc/drivers/serial/libkelvo-ifd.so", true},
      {"/tmp/my readers", false},  {"/tmp/readers#1", false},
      {"/tmp/\"quoted\"", false},  {"/tmp/tab\there", false},
      {"/tmp/line\nbreak", false}, {"", false},
  };
  for (const auto& each : cases) EXPECT_EQ(PcscReaderList::canCarry(each.path), each.carried) << each.path;

  test::TempDirectory files;
  Driver driver(files.file("my run"), std::make_shared<PeerPolicy>(std::make_shared<test::FixedSeatSessions>()),
                ReaderSocketLimits(), "/lib/libkelvo-ifd.so");
  EXPECT_FALSE(driver.prepareRuntimeDirectory()) << "a runtime directory pcscd's list cannot name";
  PcscReaderList list(files.path(), "/opt/kelvo #2/libkelvo-ifd.so");
  EXPECT_FALSE(list.add("00a0b1c2d3e4", "Kelvo 00a0b1c2d3e4", files.file("kelvo-card_00a0b1c2d3e4")));
}

TEST(PcscReaderListTest, ALinkAtTheListOrItsTemporaryFileIsReplacedNotFollowedAndAnUnchangedSetIsNotRewritten) {
  test::TempDirectory files;
  const std::string victim = files.file("victim");
  std::ofstream(victim) << "keep";
  PcscReaderList list(files.path(), "/usr/lib/libkelvo-ifd.so");
  ASSERT_EQ(::symlink(victim.c_str(), list.path().c_str()), 0);
  ASSERT_EQ(::symlink(victim.c_str(), (list.path() + ".new").c_str()), 0);

  ASSERT_TRUE(list.add("00a0b1c2d3e4", "Kelvo 00a0b1c2d3e4", "/run/trevalon/kelvo-card_00a0b1c2d3e4"));
  EXPECT_EQ(fileText(victim), "keep");
  struct stat status {};
  ASSERT_EQ(::lstat(list.path().c_str(), &status), 0);
  EXPECT_TRUE(S_ISREG(status.st_mode));
  EXPECT_EQ(status.st_mode & 07777, 0644u);
  EXPECT_NE(fileText(list.path())
                .find("FRIENDLYNAME \"Kelvo 00a0b1c2d3e4\"\nDEVICENAME /run/trevalon/kelvo-card_00a0b1c2d3e4\n"
                      "LIBPATH /usr/lib/libkelvo-ifd.so\nCHANNELID 0\n"),
            std::string::npos);

  const ino_t written = status.st_ino;
  ASSERT_TRUE(list.add("00a0b1c2d3e4", "Kelvo 00a0b1c2d3e4", "/run/trevalon/kelvo-card_00a0b1c2d3e4"));
  ASSERT_TRUE(list.remove("ffffffffffff"));
  ASSERT_EQ(::lstat(list.path().c_str(), &status), 0);
  EXPECT_EQ(status.st_ino, written) << "the same set of readers leaves the file as it was";
  ASSERT_TRUE(list.remove("00a0b1c2d3e4"));
  EXPECT_EQ(fileText(list.path()).find("FRIENDLYNAME"), std::string::npos);
}

}  // namespace
}  // namespace kelvo::driver
