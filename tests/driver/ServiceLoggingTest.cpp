// SPDX-License-Identifier: Apache-2.0
// What the driver shows a service manager: its log lines with their syslog priorities, and the marker that
// tells a running driver from none.
#include <gtest/gtest.h>

#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <string>

#include "JournalLog.h"
#include "RunningMarker.h"

namespace {

using kelvo::driver::JournalLog;
using kelvo::driver::RunningMarker;
using trevalon::common::LogLevel;

struct LevelCase {
  const char* name;
  LogLevel level;
  int priority;
};

TEST(JournalLogTest, LevelNamesAndTheirPriorities) {
  const LevelCase cases[] = {
      {"error", LogLevel::error, 3}, {"warning", LogLevel::warning, 4}, {"notice", LogLevel::notice, 5},
      {"info", LogLevel::info, 6},   {"debug", LogLevel::debug, 7},     {"trace", LogLevel::trace, 7},
  };
  for (const LevelCase& c : cases) {
    ASSERT_EQ(JournalLog::parseLevel(c.name), c.level) << c.name;
    EXPECT_EQ(JournalLog::priorityOf(c.level), c.priority) << c.name;
  }
  EXPECT_EQ(JournalLog::priorityOf(LogLevel::critical), 2);
  EXPECT_EQ(JournalLog::priorityOf(LogLevel::fatal), 2);
  for (const char* wrong : {"", "Info", "INFO", "warn", "6", "info "}) {
    EXPECT_FALSE(JournalLog::parseLevel(wrong)) << wrong;
  }
}

TEST(JournalLogTest, LinesCarryTheirPriorityAndLoseTheTimeStampOnlyUnderTheJournal) {
  const std::string line = "2026-12-11 10:00:00.123456 [0x00000001:main    ] Warning  reader lost @ Driver.cpp:1\n";
  EXPECT_EQ(JournalLog::lineFor(LogLevel::warning, line, true),
            "<4>[0x00000001:main    ] Warning  reader lost @ Driver.cpp:1\n");
  EXPECT_EQ(JournalLog::lineFor(LogLevel::warning, line, false), "<4>" + line);
  // A line that does not start with a time stamp is kept whole, and every line ends with one newline.
  EXPECT_EQ(JournalLog::lineFor(LogLevel::error, "short", true), "<3>short\n");
}

class RunningMarkerTest : public ::testing::Test {
 protected:
  void SetUp() override {
    char pattern[] = "/tmp/kelvo-marker-XXXXXX";
    ASSERT_NE(mkdtemp(pattern), nullptr);
    directory = pattern;
  }
  void TearDown() override { std::filesystem::remove_all(directory); }
  std::string directory;
};

TEST_F(RunningMarkerTest, OneDriverPerDirectoryAndTheMarkerGoesWithIt) {
  EXPECT_FALSE(RunningMarker::heldIn(directory));
  {
    RunningMarker first(directory);
    std::string failure;
    ASSERT_TRUE(first.take(failure)) << failure;
    EXPECT_TRUE(RunningMarker::heldIn(directory));
    std::ifstream pid(directory + "/" + RunningMarker::kFileName);
    long written = 0;
    pid >> written;
    EXPECT_EQ(written, ::getpid());

    RunningMarker second(directory);
    EXPECT_FALSE(second.take(failure));
    EXPECT_NE(failure.find("another kelvo-driver runs"), std::string::npos) << failure;
  }
  // The refused second marker must not have taken the first one's file away before it ended.
  EXPECT_FALSE(RunningMarker::heldIn(directory));
  EXPECT_FALSE(std::filesystem::exists(directory + "/" + RunningMarker::kFileName));
}

TEST_F(RunningMarkerTest, AStaleFileOrALinkIsNoRunningDriver) {
  std::ofstream(directory + "/" + RunningMarker::kFileName) << "12345\n";
  EXPECT_FALSE(RunningMarker::heldIn(directory));
  RunningMarker marker(directory);
  std::string failure;
  EXPECT_TRUE(marker.take(failure)) << failure;

  const std::string other = directory + "/other";
  std::filesystem::create_directory(other);
  std::filesystem::create_symlink("/etc/passwd", other + "/" + RunningMarker::kFileName);
  RunningMarker linked(other);
  EXPECT_FALSE(linked.take(failure));
  EXPECT_FALSE(RunningMarker::heldIn(other));
}

}  // namespace
