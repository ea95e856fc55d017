// SPDX-License-Identifier: Apache-2.0
#include "trevalon/common/Timer.h"

#include <condition_variable>
#include <mutex>
#include <thread>

#include "trevalon/common/Log.h"

namespace trevalon::common {

struct Timer::State {
  std::mutex mutex;
  std::condition_variable wake;
  bool idle = true;
  bool cancelled = false;
  std::function<void()> callback;
  std::chrono::milliseconds period;
  std::chrono::steady_clock::time_point deadline;
  uint64_t generation = 0;
};

Timer::Timer(std::function<void()> callback, int64_t periodMs) : state(std::make_shared<State>()) {
  state->callback = std::move(callback);
  state->period = std::chrono::milliseconds(periodMs);
}

Timer::~Timer() {
  std::function<void()> released;
  {
    std::lock_guard<std::mutex> guard(state->mutex);
    state->cancelled = true;
    released = std::move(state->callback);
    state->callback = nullptr;
  }
  state->wake.notify_all();
}

void Timer::start() {
  TREVALON_LOG(info, "Reset Timer");
  bool startThread = false;
  {
    std::lock_guard<std::mutex> guard(state->mutex);
    state->deadline = std::chrono::steady_clock::now() + state->period;
    state->cancelled = false;
    ++state->generation;
    if (state->idle) {
      state->idle = false;
      startThread = true;
    }
  }
  if (startThread) {
    TREVALON_LOG(info, "Start Timer");
    std::thread(&Timer::loop, state).detach();
  }
}

void Timer::loop(const std::shared_ptr<State>& state) {
  std::unique_lock<std::mutex> lock(state->mutex);
  for (;;) {
    while (!state->cancelled && std::chrono::steady_clock::now() < state->deadline) {
      // Re-read the deadline after every sleep: a start() in the meantime postpones the call-back.
      state->wake.wait_until(lock, state->deadline);
      lock.unlock();
      TREVALON_LOG(info, "Wakeup Timer");
      lock.lock();
    }
    if (state->cancelled) {
      state->idle = true;
      return;
    }
    const uint64_t firedGeneration = state->generation;
    std::function<void()> callback = state->callback;
    lock.unlock();
    TREVALON_LOG(info, "Finish Timer");
    if (callback) {
      callback();
    }
    lock.lock();
    // A start() while the call-back ran found this thread busy and started none: serve it here.
    if (state->cancelled || state->generation == firedGeneration) {
      state->idle = true;
      return;
    }
  }
}

}  // namespace trevalon::common
