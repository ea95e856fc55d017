// SPDX-License-Identifier: Apache-2.0
#include <gtest/gtest.h>

#include <atomic>
#include <future>
#include <thread>

#include "LogCapture.h"
#include "trevalon/common/NamedLock.h"
#include "trevalon/common/Worker.h"

using namespace trevalon::common;
using namespace std::chrono_literals;

namespace {

TEST(Worker, RunsTheCallableOnAnotherThread) {
  auto ran = std::make_shared<std::promise<std::thread::id>>();
  std::future<std::thread::id> where = ran->get_future();
  Worker::run([ran] { ran->set_value(std::this_thread::get_id()); });
  ASSERT_EQ(where.wait_for(10s), std::future_status::ready);
  EXPECT_NE(where.get(), std::this_thread::get_id());
}

TEST(NamedLock, LogsRequestLockAndUnlockAtTheCallersPosition) {
  kelvo::test::LogCapture capture;
  {
    TREVALON_NAMED_LOCK(guard, "001a7dda7113");
    TREVALON_LOG(info, "holding");
  }
  const auto lines = capture.lines();
  ASSERT_EQ(lines.size(), 4u);
  EXPECT_NE(lines[0].find("debug    ??? \"001a7dda7113\" requested @ WorkerAndNamedLockTest.cpp:"), std::string::npos);
  EXPECT_NE(lines[1].find("debug    +++ \"001a7dda7113\" locked @ WorkerAndNamedLockTest.cpp:"), std::string::npos);
  EXPECT_NE(lines[3].find("debug    --- \"001a7dda7113\" unlocked @ WorkerAndNamedLockTest.cpp:"), std::string::npos);
}

TEST(NamedLock, SameNameExcludesOtherNamesDoNot) {
  EXPECT_EQ(&NamedLockRegistry::mutexFor("device-a"), &NamedLockRegistry::mutexFor("device-a"));
  EXPECT_NE(&NamedLockRegistry::mutexFor("device-a"), &NamedLockRegistry::mutexFor("device-b"));

  std::atomic<int> inside{0};
  std::atomic<int> overlap{0};
  std::vector<std::thread> threads;
  for (int t = 0; t < 4; ++t) {
    threads.emplace_back([&] {
      for (int i = 0; i < 50; ++i) {
        TREVALON_NAMED_LOCK(guard, "shared");
        if (++inside > 1) ++overlap;
        std::this_thread::yield();
        --inside;
      }
    });
  }
  for (auto& t : threads) t.join();
  EXPECT_EQ(overlap.load(), 0);
}

TEST(NamedLock, CallersOwnMutexIsOnlyLabelled) {
  kelvo::test::LogCapture capture;
  std::recursive_mutex own;
  {
    TREVALON_LABELLED_LOCK(outer, "BLE", own);
    TREVALON_LABELLED_LOCK(inner, "BLE", own);
  }
  EXPECT_EQ(capture.count("+++ \"BLE\" locked"), 2u);
  EXPECT_TRUE(own.try_lock());
  own.unlock();
}

}  // namespace
