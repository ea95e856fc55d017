// SPDX-License-Identifier: Apache-2.0
#pragma once
// A thread-safe unbounded queue whose pop waits a limited time. `stop` fails every pop (waiting ones at once)
// until `reset` runs the queue again, empty.

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <mutex>

#include "trevalon/common/ScopeTrace.h"

namespace trevalon::common {

template <typename T>
class BlockingQueue {
 public:
  void push(const T& value) {
    {
      std::lock_guard<std::mutex> guard(mutex);
      queue.push_back(value);
    }
    condition.notify_one();
  }

  void push(T&& value) {
    {
      std::lock_guard<std::mutex> guard(mutex);
      queue.push_back(std::move(value));
    }
    condition.notify_one();
  }

  bool pop(T& out, std::chrono::milliseconds timeout) {
    std::unique_lock<std::mutex> lock(mutex);
    if (!running) {
      return false;
    }
    if (queue.empty()) {
      if (timeout <= std::chrono::milliseconds::zero()) {
        return false;
      }
      // Waits out spurious wake-ups: only an element, a stop or the time-out ends the wait. A stop ends it
      // even when a reset follows at once (a link that went down and was configured again).
      const uint64_t stopsBefore = stops;
      if (!condition.wait_for(lock, timeout, [&] { return stops != stopsBefore || !queue.empty(); }) ||
          stops != stopsBefore) {
        return false;
      }
    }
    if (running && !queue.empty()) {
      out = std::move(queue.front());
      queue.pop_front();
      return true;
    }
    return false;
  }

  void stop() {
    TREVALON_TRACE();
    {
      std::lock_guard<std::mutex> guard(mutex);
      running = false;
      ++stops;
    }
    // Every waiter must give up, not just one: a stopped queue delivers nothing.
    condition.notify_all();
  }

  void reset() {
    std::lock_guard<std::mutex> guard(mutex);
    running = true;
    queue.clear();
  }

  size_t size() const {
    std::lock_guard<std::mutex> guard(mutex);
    return queue.size();
  }

 private:
  std::deque<T> queue;
  mutable std::mutex mutex;
  std::condition_variable condition;
  bool running = true;
  uint64_t stops = 0;
};

}  // namespace trevalon::common
