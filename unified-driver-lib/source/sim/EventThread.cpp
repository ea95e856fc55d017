// SPDX-License-Identifier: Apache-2.0
#include "EventThread.h"

#include "trevalon/common/Log.h"

namespace trevalon::sim {

EventThread::EventThread(std::string name) : thread(&EventThread::run, state, std::move(name)) {}

EventThread::~EventThread() { stop(); }

void EventThread::stop() {
  std::lock_guard<std::mutex> once(stopping);
  {
    std::lock_guard<std::mutex> guard(state->lock);
    state->stopping = true;
    state->tasks.clear();
  }
  state->changed.notify_all();
  if (!thread.joinable()) return;
  if (thread.get_id() == std::this_thread::get_id()) {
    thread.detach();
  } else {
    thread.join();
  }
}

void EventThread::post(std::function<void()> task) {
  {
    std::lock_guard<std::mutex> guard(state->lock);
    if (state->stopping) return;
    state->tasks.push_back(std::move(task));
  }
  state->changed.notify_all();
}

void EventThread::waitIdle() {
  if (thread.get_id() == std::this_thread::get_id()) return;
  std::unique_lock<std::mutex> lock(state->lock);
  state->changed.wait(lock, [this] { return state->stopping || (state->tasks.empty() && !state->busy); });
}

void EventThread::run(std::shared_ptr<State> state, const std::string& name) {
  common::setThreadName(name);
  std::unique_lock<std::mutex> lock(state->lock);
  for (;;) {
    state->changed.wait(lock, [&state] { return state->stopping || !state->tasks.empty(); });
    if (state->stopping) return;
    std::function<void()> task = std::move(state->tasks.front());
    state->tasks.pop_front();
    state->busy = true;
    lock.unlock();
    task();
    // The task's captures may hold the last owner of whoever owns this thread: release them unlocked.
    task = nullptr;
    lock.lock();
    state->busy = false;
    state->changed.notify_all();
  }
}

}  // namespace trevalon::sim
