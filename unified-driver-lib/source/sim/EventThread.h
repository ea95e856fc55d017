// SPDX-License-Identifier: Apache-2.0
#pragma once
// One named thread that runs posted tasks in order. The simulated radio uses one for notifications and one
// for link events, as a platform delivers them on its own threads.

#include <condition_variable>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

namespace trevalon::sim {

class EventThread {
 public:
  explicit EventThread(std::string name);
  EventThread(const EventThread&) = delete;
  EventThread& operator=(const EventThread&) = delete;
  // Stops as stop() does.
  ~EventThread();

  // Drops tasks not yet run, lets the running one finish and joins the thread; later posts are ignored.
  // On the thread itself (a task released the last owner) the thread is let go instead of joined.
  void stop();

  void post(std::function<void()> task);
  // Returns once every task posted before the call has run; at once when called from the thread itself.
  void waitIdle();

 private:
  // Shared with the thread, which may outlive this object when it destroys it from inside a task.
  struct State {
    std::mutex lock;
    std::condition_variable changed;
    std::deque<std::function<void()>> tasks;
    bool stopping = false;
    bool busy = false;
  };

  static void run(std::shared_ptr<State> state, const std::string& name);

  std::shared_ptr<State> state = std::make_shared<State>();
  std::mutex stopping;
  std::thread thread;
};

}  // namespace trevalon::sim
