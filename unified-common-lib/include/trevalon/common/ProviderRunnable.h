// SPDX-License-Identifier: Apache-2.0
#pragma once
// The bottom link of a discovery chain: a polling thread calls update(), which reports every item it sees to
// this object's own onFound; the translator logic passes only new items upwards. Polling reports no losses.

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>
#include <thread>

#include "trevalon/common/ProviderTranslator.h"

namespace trevalon::common {

template <typename T>
class ProviderRunnable : public Translator<trevalon::Provider<T>, trevalon::Provider<T>> {
 public:
  ~ProviderRunnable() override { stop(); }

  T translate(const T& item) override { return item; }

  // Polls every `periodMs` milliseconds, the first time at once. A running poller is restarted.
  virtual void start(int64_t periodMs) {
    TREVALON_TRACE();
    stop();
    std::lock_guard<std::mutex> guard(state->lock);
    if (state->running) {
      return;
    }
    state->running = true;
    // The thread holds the object only weakly, so that releasing the last owner ends the polling.
    std::weak_ptr<Shareable> self = this->weak_from_this();
    state->poller = std::thread(&ProviderRunnable::run, this, self, state, std::chrono::milliseconds(periodMs));
  }

  // Returns after the polling thread has ended; a sleeping poller is woken at once.
  virtual void stop() {
    std::thread ending;
    {
      std::lock_guard<std::mutex> guard(state->lock);
      if (!state->running) {
        return;
      }
      state->running = false;
      ending = std::move(state->poller);
    }
    state->wake.notify_all();
    if (!ending.joinable()) {
      return;
    }
    if (ending.get_id() == std::this_thread::get_id()) {
      // The poller itself let go of the last owner: it ends on its own once this returns.
      ending.detach();
    } else {
      ending.join();
    }
  }

  bool isRunning() const {
    std::lock_guard<std::mutex> guard(state->lock);
    return state->running;
  }

 protected:
  // Enumerates the system and reports each item to this->onFound.
  virtual void update() = 0;

 private:
  // Shared with the polling thread: it may outlive this object by the end of one poll.
  struct RunState {
    bool running = false;
    std::thread poller;
    std::mutex lock;
    std::condition_variable wake;
  };

  void run(const std::weak_ptr<Shareable>& self, std::shared_ptr<RunState> run, std::chrono::milliseconds period) {
    const bool owned = !self.expired();
    for (;;) {
      {
        std::shared_ptr<Shareable> alive = self.lock();
        if (owned && !alive) {
          return;
        }
        {
          std::lock_guard<std::mutex> guard(run->lock);
          if (!run->running) {
            return;
          }
        }
        update();
      }
      // From here on `this` may be gone; only the shared run state is touched.
      std::unique_lock<std::mutex> lock(run->lock);
      if (run->wake.wait_for(lock, period, [&run] { return !run->running; })) {
        return;
      }
    }
  }

  std::shared_ptr<RunState> state = std::make_shared<RunState>();
};

}  // namespace trevalon::common
