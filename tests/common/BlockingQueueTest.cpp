// SPDX-License-Identifier: Apache-2.0
#include <gtest/gtest.h>

#include <future>
#include <thread>
#include <vector>

#include "LogCapture.h"
#include "trevalon/common/BlockingQueue.h"

using trevalon::common::BlockingQueue;
using Clock = std::chrono::steady_clock;
using Bytes = std::vector<uint8_t>;

namespace {

TEST(BlockingQueue, DeliversInOrder) {
  BlockingQueue<Bytes> queue;
  queue.push(Bytes{1});
  Bytes second{2, 2};
  queue.push(second);
  Bytes out;
  ASSERT_TRUE(queue.pop(out, std::chrono::seconds(0)));
  EXPECT_EQ(out, Bytes{1});
  ASSERT_TRUE(queue.pop(out, std::chrono::seconds(0)));
  EXPECT_EQ(out, second);
  EXPECT_FALSE(queue.pop(out, std::chrono::seconds(0)));
}

TEST(BlockingQueue, EmptyPopTimesOutAfterItsTimeout) {
  BlockingQueue<uint8_t> queue;
  uint8_t out = 0;
  const auto started = Clock::now();
  EXPECT_FALSE(queue.pop(out, std::chrono::seconds(1)));
  const auto waited = Clock::now() - started;
  EXPECT_GE(waited, std::chrono::milliseconds(950));
  EXPECT_LT(waited, std::chrono::seconds(5));
}

TEST(BlockingQueue, PushWakesAWaitingPop) {
  BlockingQueue<uint8_t> queue;
  auto popped = std::async(std::launch::async, [&] {
    uint8_t out = 0;
    return queue.pop(out, std::chrono::seconds(30)) ? out : uint8_t{0};
  });
  std::this_thread::sleep_for(std::chrono::milliseconds(50));
  queue.push(uint8_t{0x42});
  ASSERT_EQ(popped.wait_for(std::chrono::seconds(10)), std::future_status::ready);
  EXPECT_EQ(popped.get(), 0x42);
}

TEST(BlockingQueue, StopEndsAWaitingPopAtOnceAndDropsQueuedElements) {
  kelvo::test::LogCapture capture;
  BlockingQueue<Bytes> queue;
  auto waiting = std::async(std::launch::async, [&] {
    Bytes out;
    const auto started = Clock::now();
    const bool got = queue.pop(out, std::chrono::seconds(30));
    return std::make_pair(got, Clock::now() - started);
  });
  std::this_thread::sleep_for(std::chrono::milliseconds(50));
  queue.stop();
  ASSERT_EQ(waiting.wait_for(std::chrono::seconds(10)), std::future_status::ready);
  const auto result = waiting.get();
  EXPECT_FALSE(result.first);
  EXPECT_LT(result.second, std::chrono::seconds(10));

  queue.push(Bytes{9});
  Bytes out;
  EXPECT_FALSE(queue.pop(out, std::chrono::seconds(0))) << "a stopped queue delivers nothing";
  EXPECT_TRUE(capture.contains(">> trevalon::common::BlockingQueue::stop()"));

  queue.reset();
  EXPECT_FALSE(queue.pop(out, std::chrono::seconds(0))) << "reset discards what was queued";
  queue.push(Bytes{7});
  ASSERT_TRUE(queue.pop(out, std::chrono::seconds(0)));
  EXPECT_EQ(out, Bytes{7});
}

TEST(BlockingQueue, ManyProducersLoseNothing) {
  BlockingQueue<int> queue;
  std::vector<std::thread> producers;
  for (int p = 0; p < 4; ++p) {
    producers.emplace_back([&queue, p] {
      for (int i = 0; i < 250; ++i) queue.push(p * 1000 + i);
    });
  }
  int received = 0;
  int out = 0;
  while (received < 1000 && queue.pop(out, std::chrono::seconds(5))) ++received;
  for (auto& t : producers) t.join();
  EXPECT_EQ(received, 1000);
}

}  // namespace

namespace {

TEST(BlockingQueue, AStopFollowedAtOnceByAResetStillEndsAWaitingPop) {
  BlockingQueue<Bytes> queue;
  auto waiting = std::async(std::launch::async, [&] {
    Bytes out;
    return queue.pop(out, std::chrono::seconds(30));
  });
  std::this_thread::sleep_for(std::chrono::milliseconds(50));
  queue.stop();
  queue.reset();
  ASSERT_EQ(waiting.wait_for(std::chrono::seconds(10)), std::future_status::ready);
  EXPECT_FALSE(waiting.get());
}

}  // namespace
