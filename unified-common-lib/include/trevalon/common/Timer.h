// SPDX-License-Identifier: Apache-2.0
#pragma once
// A re-triggerable one-shot timer: the call-back runs `period` after the latest start(), so calling start()
// again and again makes a watchdog that fires only when the calls stop. At most one timer thread runs at a
// time. Deadlines are on the monotonic clock, so changing the wall clock neither fires nor stalls a timer.

#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>

namespace trevalon::common {

class Timer {
 public:
  Timer(std::function<void()> callback, int64_t periodMs);
  Timer(const Timer&) = delete;
  Timer& operator=(const Timer&) = delete;
  // Cancels: a sleeping timer thread ends without calling back.
  ~Timer();

  void start();

 private:
  struct State;
  static void loop(const std::shared_ptr<State>& state);

  // Shared with the detached timer thread, which may outlive this object by one wake-up.
  std::shared_ptr<State> state;
};

}  // namespace trevalon::common
