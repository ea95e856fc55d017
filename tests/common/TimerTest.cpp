// SPDX-License-Identifier: Apache-2.0
#include <gtest/gtest.h>

#include <atomic>
#include <condition_variable>
#include <mutex>
#include <thread>

#include "LogCapture.h"
#include "trevalon/common/Timer.h"

using trevalon::common::Timer;
using Clock = std::chrono::steady_clock;
using namespace std::chrono_literals;

namespace {

// Counts call-backs and remembers when the last one came.
struct Firing {
  std::mutex lock;
  std::condition_variable fired;
  int count = 0;
  Clock::time_point last;

  std::function<void()> callback() {
    return [this] {
      std::lock_guard<std::mutex> guard(lock);
      ++count;
      last = Clock::now();
      fired.notify_all();
    };
  }
  bool waitFor(int expected, std::chrono::milliseconds limit) {
    std::unique_lock<std::mutex> guard(lock);
    return fired.wait_for(guard, limit, [&] { return count >= expected; });
  }
  int value() {
    std::lock_guard<std::mutex> guard(lock);
    return count;
  }
};

TEST(Timer, FiresOncePeriodAfterStartAndLogsItsSteps) {
  kelvo::test::LogCapture capture;
  Firing firing;
  Timer timer(firing.callback(), 100);
  const auto started = Clock::now();
  timer.start();
  ASSERT_TRUE(firing.waitFor(1, 10s));
  EXPECT_GE(firing.last - started, 100ms);
  std::this_thread::sleep_for(200ms);
  EXPECT_EQ(firing.value(), 1);
  for (const char* text : {"Info     Reset Timer", "Info     Start Timer", "Info     Finish Timer"}) {
    EXPECT_TRUE(capture.contains(text)) << text;
  }
}

TEST(Timer, RestartingKeepsPostponingTheCallback) {
  Firing firing;
  Timer timer(firing.callback(), 300);
  timer.start();
  Clock::time_point lastStart;
  for (int i = 0; i < 12; ++i) {
    std::this_thread::sleep_for(50ms);
    lastStart = Clock::now();
    timer.start();
  }
  EXPECT_EQ(firing.value(), 0) << "a watchdog fed every 50 ms must not fire at 300 ms";
  ASSERT_TRUE(firing.waitFor(1, 10s));
  EXPECT_GE(firing.last - lastStart, 300ms);
  std::this_thread::sleep_for(400ms);
  EXPECT_EQ(firing.value(), 1);
}

TEST(Timer, DestructionCancelsAPendingCallback) {
  Firing firing;
  {
    Timer timer(firing.callback(), 100);
    timer.start();
  }
  std::this_thread::sleep_for(300ms);
  EXPECT_EQ(firing.value(), 0);
}

TEST(Timer, StartFromInsideTheCallbackArmsItAgain) {
  Firing firing;
  std::unique_ptr<Timer> timer;
  std::atomic<int> calls{0};
  timer = std::make_unique<Timer>(
      [&] {
        if (++calls == 1) timer->start();
        firing.callback()();
      },
      50);
  timer->start();
  EXPECT_TRUE(firing.waitFor(2, 10s)) << "a start() while the call-back runs must not be lost";
  timer.reset();
}

}  // namespace
