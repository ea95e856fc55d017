// SPDX-License-Identifier: Apache-2.0
#include <gtest/gtest.h>

#include <thread>

#include "LogCapture.h"
#include "trevalon/common/ScopeTrace.h"

using namespace trevalon::common;
using kelvo::test::LogCapture;

namespace {

namespace sample {
struct Layer {
  std::string outer() {
    TREVALON_TRACE();
    inner();
    scopeTrace.setResult("true");
    return trevalonTraceName_;
  }
  void inner() {
    TREVALON_TRACE_ARGS("7");
    TREVALON_LOG(debug, "inside");
  }
  void quiet() { TREVALON_TRACE_QUIET(); }
};
}  // namespace sample

// The message part of a line: after the level text and before a source position.
std::string messageOf(const std::string& line) {
  const size_t start = line.find("] ") + 2 + 8;
  std::string rest = line.substr(start);
  rest.pop_back();  // newline
  return rest;
}

TEST(ScopeTrace, EnabledTracesNestAndReportTheirResult) {
  LogCapture capture;
  std::thread([] {
    setThreadName("NOTF_WORK");
    sample::Layer().outer();
  }).join();
  const std::vector<std::string> lines = capture.lines();
  ASSERT_EQ(lines.size(), 5u);
  EXPECT_EQ(messageOf(lines[0]).substr(0, 39), " >> {anonymous}::sample::Layer::outer()");
  EXPECT_NE(lines[0].find(" @ ScopeTraceTest.cpp:"), std::string::npos);
  EXPECT_NE(lines[1].find("trace      >> "), std::string::npos) << "one step of depth is two blanks";
  EXPECT_NE(lines[1].find("::inner(7) @ ScopeTraceTest.cpp:"), std::string::npos);
  EXPECT_NE(lines[2].find("debug        inside @ ScopeTraceTest.cpp:"), std::string::npos) << lines[2];
  EXPECT_NE(lines[3].find("trace      << "), std::string::npos);
  EXPECT_EQ(lines[3].find(" @ "), std::string::npos) << "exit lines of enabled traces carry no position";
  EXPECT_NE(lines[4].find("trace    << "), std::string::npos);
  EXPECT_NE(lines[4].find("::outer -> true [~"), std::string::npos) << lines[4];
}

TEST(ScopeTrace, DisabledTraceWritesOneExitLineWithPosition) {
  LogCapture capture;
  sample::Layer().quiet();
  ASSERT_EQ(capture.lines().size(), 1u);
  const std::string line = capture.lines()[0];
  EXPECT_NE(line.find("trace    <> "), std::string::npos) << line;
  EXPECT_NE(line.find("::quiet() [~"), std::string::npos) << line;
  EXPECT_NE(line.find(" @ ScopeTraceTest.cpp:"), std::string::npos) << line;
}

TEST(ScopeTrace, DepthIsKeptPerThread) {
  LogCapture capture;
  std::thread first([] {
    TREVALON_TRACE();
    std::thread([] { TREVALON_LOG(info, "other thread at depth 0"); }).join();
  });
  first.join();
  EXPECT_TRUE(capture.contains("Info     other thread at depth 0"));
}

TEST(ScopeTrace, ElapsedUnits) {
  struct Case {
    double seconds;
    const char* text;
  };
  const Case cases[] = {
      {150.0, "2.5min]"},   {120.0, "2min]"},      {119.5, "119.5s]"},
      {1.0, "1s]"},         {0.5, "500ms]"},       {0.001, "1ms]"},
      {0.000250, "250us]"}, {0.0000005, "500ns]"}, {1234.5678, "20.5761min]"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(ScopeTrace::formatElapsed(c.seconds), c.text) << c.seconds;
  }
}

TEST(ScopeTrace, QualifiedNameFromSignatures) {
  struct Case {
    const char* signature;
    const char* name;
  };
  const Case cases[] = {
      {"bool trevalon::ble::BLEReaderBLEReaderNativeTranslator::wait(int)",
       "trevalon::ble::BLEReaderBLEReaderNativeTranslator::wait"},
      {"void trevalon::common::BlockingQueue<T>::stop() [with T = std::vector<unsigned char>]",
       "trevalon::common::BlockingQueue::stop"},
      {"trevalon::local::LinuxMachine::LinuxMachine(std::string, std::string)",
       "trevalon::local::LinuxMachine::LinuxMachine"},
      {"virtual std::map<int, int> trevalon::X<A, B<C> >::get() const", "trevalon::X::get"},
      {"static void trevalon::common::Worker::run(std::function<void()>)", "trevalon::common::Worker::run"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(ScopeTrace::qualifiedName(c.signature), c.name) << c.signature;
  }
}

}  // namespace
