// SPDX-License-Identifier: Apache-2.0
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>
#include <fstream>
#include <thread>

#include "LogCapture.h"
#include "TempDirectory.h"
#include "trevalon/local/FileSettings.h"

using trevalon::local::FileSettings;
using kelvo::test::LogCapture;
using kelvo::test::TempDirectory;
using Bytes = std::vector<uint8_t>;

namespace {

mode_t modeOf(const std::string& path) {
  struct stat info {};
  stat(path.c_str(), &info);
  return info.st_mode & 0777;
}

TEST(FileSettings, RoundTripOverwriteAndUnset) {
  TempDirectory dir;
  FileSettings settings(dir.path());
  EXPECT_FALSE(settings.isset("serial_001a7dda7113"));
  ASSERT_TRUE(settings.set_raw("serial_001a7dda7113", Bytes{'5', '1', 0x00, 0xff}));
  EXPECT_TRUE(settings.isset("serial_001a7dda7113"));
  ASSERT_TRUE(settings.get_raw("serial_001a7dda7113"));
  EXPECT_EQ(*settings.get_raw("serial_001a7dda7113"), (Bytes{'5', '1', 0x00, 0xff}));

  ASSERT_TRUE(settings.set_raw("serial_001a7dda7113", Bytes{}));
  ASSERT_TRUE(settings.get_raw("serial_001a7dda7113"));
  EXPECT_TRUE(settings.get_raw("serial_001a7dda7113")->empty()) << "an empty value exists and is empty";

  EXPECT_TRUE(settings.unset("serial_001a7dda7113"));
  EXPECT_FALSE(settings.isset("serial_001a7dda7113"));
  EXPECT_FALSE(settings.unset("serial_001a7dda7113")) << "removing an absent value fails";
}

ino_t inodeOf(const std::string& path) {
  struct stat info {};
  stat(path.c_str(), &info);
  return info.st_ino;
}

// Every write makes a new file (temporary, then rename), so an unchanged inode means nothing was written.
TEST(FileSettings, StoringTheStoredValueWritesNothingButAChangeOrALooseModeDoes) {
  TempDirectory dir;
  FileSettings settings(dir.path());
  const std::string key = dir.path() + "/key_001a7dda7113_private";
  ASSERT_TRUE(settings.set_raw("key_001a7dda7113_private", Bytes{1, 2, 3}));
  const ino_t first = inodeOf(key);
  ASSERT_TRUE(settings.set_raw("key_001a7dda7113_private", Bytes{1, 2, 3}));
  EXPECT_EQ(inodeOf(key), first) << "the same value was written again";

  ASSERT_TRUE(settings.set_raw("key_001a7dda7113_private", Bytes{1, 2, 4}));
  EXPECT_NE(inodeOf(key), first);
  EXPECT_EQ(*settings.get_raw("key_001a7dda7113_private"), (Bytes{1, 2, 4}));
  const ino_t second = inodeOf(key);
  ASSERT_TRUE(settings.set_raw("key_001a7dda7113_private", Bytes{1, 2, 4, 0}));
  EXPECT_NE(inodeOf(key), second) << "a longer value with the same start is a change";

  // The same bytes in a file others may read are written anew with the value's own mode.
  ::chmod(key.c_str(), 0644);
  const ino_t loose = inodeOf(key);
  ASSERT_TRUE(settings.set_raw("key_001a7dda7113_private", Bytes{1, 2, 4, 0}));
  EXPECT_NE(inodeOf(key), loose);
  EXPECT_EQ(modeOf(key), 0600u);
}

TEST(FileSettings, AMissingValueReadsEmptyAndIsLogged) {
  TempDirectory dir;
  FileSettings settings(dir.path());
  LogCapture capture;
  EXPECT_FALSE(settings.get_raw("nothing"));
  EXPECT_TRUE(capture.containsAt("ERROR", "reading setting nothing failed with 2 (No such file or directory)"));
  EXPECT_FALSE(settings.isset("nothing"));
}

TEST(FileSettings, AMissingDirectoryIsNeverCreated) {
  TempDirectory dir;
  const std::string missing = dir.file("driver");
  FileSettings settings(missing);
  LogCapture capture;
  EXPECT_FALSE(settings.set_raw("logpath", Bytes{'x'}));
  EXPECT_TRUE(capture.containsAt("ERROR", "open of settings directory " + missing + " failed with 2"));
  EXPECT_FALSE(std::filesystem::exists(missing));
  EXPECT_FALSE(settings.get_raw("logpath"));
  EXPECT_FALSE(settings.isset("logpath"));
  EXPECT_FALSE(settings.unset("logpath"));
}

TEST(FileSettings, NamesThatCouldLeaveTheDirectoryAreRefused) {
  TempDirectory dir;
  std::filesystem::create_directory(dir.file("store"));
  FileSettings settings(dir.file("store"));
  LogCapture capture;
  const std::vector<std::string> refused = {
      "", ".", "..", "../escape", "a/b", "/etc/passwd", "..hidden", ".hidden", std::string("nul\0byte", 8)};
  for (const std::string& name : refused) {
    EXPECT_FALSE(FileSettings::isValidName(name)) << name;
    EXPECT_FALSE(settings.set_raw(name, Bytes{1})) << name;
    EXPECT_FALSE(settings.get_raw(name)) << name;
    EXPECT_FALSE(settings.isset(name)) << name;
    EXPECT_FALSE(settings.unset(name)) << name;
  }
  EXPECT_FALSE(std::filesystem::exists(dir.file("escape")));
  EXPECT_TRUE(std::filesystem::is_empty(dir.file("store")));
  EXPECT_TRUE(capture.contains("Setting name \"../escape\" is not allowed"));
  for (const std::string& name :
       std::vector<std::string>{"logpath", "key_001a7dda7113_private", "serial_a.b", "x..y_z"}) {
    EXPECT_EQ(FileSettings::isValidName(name), name != "x..y_z") << name;
  }
}

TEST(FileSettings, PrivateValuesAreReadableByTheOwnerOnlyAndWritesLeaveNoTemporaries) {
  TempDirectory dir;
  FileSettings settings(dir.path());
  ASSERT_TRUE(settings.set_raw("key_abc_private", Bytes(48, 7)));
  ASSERT_TRUE(settings.set_raw("logpath", Bytes{'/'}));
  EXPECT_EQ(modeOf(dir.file("key_abc_private")), 0600u);
  EXPECT_EQ(modeOf(dir.file("logpath")) & 0600u, 0600u);
  size_t files = 0;
  for (const auto& entry : std::filesystem::directory_iterator(dir.path())) {
    EXPECT_NE(entry.path().filename().string()[0], '.') << entry.path();
    ++files;
  }
  EXPECT_EQ(files, 2u);
}

TEST(FileSettings, ReadersNeverSeeATornValue) {
  TempDirectory dir;
  FileSettings settings(dir.path());
  const Bytes small(10, 'a');
  const Bytes large(3000, 'b');
  ASSERT_TRUE(settings.set_raw("value", small));
  std::atomic<bool> done{false};
  std::thread writer([&] {
    for (int i = 0; i < 200; ++i) settings.set_raw("value", i % 2 ? small : large);
    done = true;
  });
  int torn = 0;
  while (!done) {
    auto read = settings.get_raw("value");
    if (!read || (*read != small && *read != large)) ++torn;
  }
  writer.join();
  EXPECT_EQ(torn, 0);
}

TEST(FileSettings, ASymlinkIsNotFollowed) {
  TempDirectory dir;
  std::filesystem::create_directory(dir.file("store"));
  std::ofstream(dir.file("outside")) << "secret";
  std::filesystem::create_symlink(dir.file("outside"), dir.file("store/link"));
  FileSettings settings(dir.file("store"));
  LogCapture capture;
  EXPECT_FALSE(settings.get_raw("link"));
  EXPECT_FALSE(settings.isset("link"));
}

}  // namespace
