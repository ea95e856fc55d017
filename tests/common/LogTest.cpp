// SPDX-License-Identifier: Apache-2.0
#include <gtest/gtest.h>
#include <pthread.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <atomic>
#include <cstdlib>
#include <ctime>
#include <thread>
#include <vector>

#include "LogCapture.h"
#include "trevalon/common/Log.h"
#include "trevalon/common/ScopeTrace.h"

using namespace trevalon::common;
using kelvo::test::LogCapture;

namespace {

class LogTest : public ::testing::Test {
 protected:
  void SetUp() override {
    setenv("TZ", "UTC", 1);
    tzset();
    // 2026-12-10 02:47:36.123456 UTC, with sub-microsecond noise that must be cut, not rounded.
    const auto fixed =
        std::chrono::system_clock::time_point(std::chrono::seconds(1796870856)) + std::chrono::nanoseconds(123456789);
    setLogClockForTesting([fixed] { return fixed; });
  }
  void TearDown() override { setLogClockForTesting(nullptr); }

  static std::string threadField() {
    char id[16];
    std::snprintf(id, sizeof id, "%08x", static_cast<unsigned>(::syscall(SYS_gettid)));
    return id;
  }

  LogCapture capture;
};

TEST_F(LogTest, LineLayoutByteForByte) {
  std::thread([&] {
    setThreadName("NOTF_WORK");
    logLine(LogLevel::warning, "the reader is gone", 42, "/src/unified-driver-lib/source/BLEReader.cpp");
    const std::string expected = "2026-12-10 02:47:36.123456 [0x" + threadField() +
                                 ":NOTF_WORK] Warning  the reader is gone @ BLEReader.cpp:42\n";
    ASSERT_EQ(capture.lines().size(), 1u);
    EXPECT_EQ(capture.lines()[0], expected);
  }).join();
}

TEST_F(LogTest, LevelTextsAndSourcePositions) {
  struct Case {
    LogLevel level;
    int line;
    const char* file;
    const char* expectedTail;
  };
  const Case cases[] = {
      {LogLevel::trace, 1, "a\\b\\Win.cpp", "trace    m @ Win.cpp:1\n"},
      {LogLevel::debug, 0, "x.cpp", "debug    m\n"},
      {LogLevel::info, -5, "x.cpp", "Info     m\n"},
      {LogLevel::notice, 7, "x.cpp", "Notice   m @ x.cpp:7\n"},
      {LogLevel::error, 9, "dir/y.h", "ERROR    m @ y.h:9\n"},
      {LogLevel::critical, 0, "x.cpp", "CRITICAL m\n"},
      {LogLevel::fatal, 0, "x.cpp", "FATAL!!! m\n"},
  };
  for (const Case& c : cases) {
    capture.clear();
    logLine(c.level, "m", c.line, c.file);
    ASSERT_EQ(capture.lines().size(), 1u);
    const std::string line = capture.lines()[0];
    const std::string tail = c.expectedTail;
    EXPECT_EQ(line.substr(line.size() - tail.size()), tail) << line;
  }
}

TEST_F(LogTest, ValuesThatAreNotOneLevelWriteNothing) {
  for (int value : {0, 3, 6, 255}) {
    logLine(static_cast<LogLevel>(value), "nothing", 1, "x.cpp");
  }
  EXPECT_TRUE(capture.lines().empty());
}

TEST_F(LogTest, ThreadNamesArePaddedOrCutToNineCharacters) {
  struct Case {
    const char* name;
    const char* field;
  };
  const Case cases[] = {
      {"DISC_TiMR", ":DISC_TiMR] "},
      {"NOTF_AVAIL", ":NOTF_AVA~] "},
      {"LONGER_THAN_TEN", ":LONGER_T~] "},
      {"GUI", ":GUI      ] "},
  };
  for (const Case& c : cases) {
    capture.clear();
    std::thread([&] {
      setThreadName(c.name);
      logLine(LogLevel::info, "x", 0, nullptr);
    }).join();
    ASSERT_EQ(capture.lines().size(), 1u);
    EXPECT_NE(capture.lines()[0].find(c.field), std::string::npos) << capture.lines()[0];
  }
  capture.clear();
  std::thread([] { logLine(LogLevel::info, "x", 0, nullptr); }).join();
  EXPECT_NE(capture.lines()[0].find(":         ] "), std::string::npos) << capture.lines()[0];
}

TEST_F(LogTest, ThreadNameReachesTheOperatingSystem) {
  std::thread([] {
    setThreadName("MSG__PUMP");
    char name[16] = {};
    pthread_getname_np(pthread_self(), name, sizeof name);
    EXPECT_STREQ(name, "MSG__PUMP");
    setThreadName("A_NAME_LONGER_THAN_FIFTEEN");
    pthread_getname_np(pthread_self(), name, sizeof name);
    EXPECT_STREQ(name, "A_NAME_LONGER_T");
    EXPECT_EQ(threadName(), "A_NAME_LONGER_THAN_FIFTEEN");
  }).join();
}

TEST_F(LogTest, AThreadsNameAndDepthAreForgottenWhenItEnds) {
  // One thread per driver connection: the log must not keep an entry for each of them.
  const size_t before = threadEntriesForTesting();
  constexpr int kThreads = 2000;
  constexpr int kAtOnce = 16;
  std::atomic<int> seenWhileAlive{0};
  for (int started = 0; started < kThreads; started += kAtOnce) {
    std::vector<std::thread> batch;
    for (int i = 0; i < kAtOnce; ++i) {
      batch.emplace_back([&, i] {
        setThreadName("CONN_" + std::to_string(i));
        ScopeTrace trace(true, "serve", "", 1, "Pipe.cpp");
        logLine(LogLevel::info, "request", 2, "Pipe.cpp");
        if (threadEntriesForTesting() >= before + 2) ++seenWhileAlive;
      });
    }
    for (std::thread& thread : batch) thread.join();
  }
  EXPECT_EQ(seenWhileAlive.load(), kThreads) << "each thread had its name and depth while it ran";
  EXPECT_EQ(threadEntriesForTesting(), before);
  EXPECT_TRUE(capture.contains(":CONN_15  ] Info       request @ Pipe.cpp:2")) << "named and indented while alive";
}

TEST_F(LogTest, EverySinkGetsItsOwnCopyInRegistrationOrder) {
  std::vector<std::string> order;
  addLogSink(
      0xFF, [&](const std::string& line) { order.push_back("second:" + line); }, "second");
  logLine(LogLevel::info, "hello", 0, nullptr);
  ASSERT_EQ(capture.lines().size(), 1u);
  ASSERT_EQ(order.size(), 1u);
  EXPECT_EQ(order[0], "second:" + capture.lines()[0]);
}

TEST_F(LogTest, LogMessageReturnsTheMessage) {
  EXPECT_EQ(logMessage(LogLevel::error, "Communication failed", 3, "x.cpp", "f"), "Communication failed");
  EXPECT_TRUE(capture.contains("ERROR    Communication failed @ x.cpp:3\n"));
}

TEST(FormatMessage, FormatsUpTo255CharactersAndRefusesMore) {
  EXPECT_EQ(formatMessage("Invalid size %zu", size_t{15}), "Invalid size 15");
  EXPECT_EQ(formatMessage("%s", std::string(255, 'a').c_str()), std::string(255, 'a'));
  EXPECT_EQ(formatMessage("%s", std::string(256, 'a').c_str()), "Not enought space to write into buffer");
  EXPECT_EQ(formatMessage("%s%i", std::string(254, 'a').c_str(), 10), "Not enought space to write into buffer");
}

}  // namespace
