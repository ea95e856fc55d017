// SPDX-License-Identifier: Apache-2.0
#include "RequestQueue.h"

#include <algorithm>

#include "trevalon/common/Log.h"

namespace kelvo::driver {

RequestQueue::RequestQueue(Handler handler) : handler(std::move(handler)) {
  worker = std::thread(&RequestQueue::work, this);
}

RequestQueue::~RequestQueue() { stop(); }

RequestQueue::Result RequestQueue::run(const std::vector<uint8_t>& request, std::chrono::milliseconds startDeadline,
                                       std::chrono::milliseconds answerDeadline) {
  auto job = std::make_shared<Job>();
  job->request = request;
  std::unique_lock<std::mutex> guard(lock);
  if (closed) return {Outcome::kClosed, {}};
  waiting.push_back(job);
  changed.notify_all();

  const auto startBy = std::chrono::steady_clock::now() + startDeadline;
  changed.wait_until(guard, startBy, [&] { return closed || job->state != State::kQueued; });
  if (job->state == State::kQueued) {
    waiting.erase(std::find(waiting.begin(), waiting.end(), job));
    job->state = State::kAbandoned;
    return {closed ? Outcome::kClosed : Outcome::kNotStarted, {}};
  }
  changed.wait_until(guard, job->started + answerDeadline, [&] { return closed || job->state == State::kDone; });
  if (job->state == State::kDone) return {Outcome::kAnswered, std::move(job->answer)};
  job->state = State::kAbandoned;
  return {closed ? Outcome::kClosed : Outcome::kTimedOut, {}};
}

void RequestQueue::close() {
  {
    std::lock_guard<std::mutex> guard(lock);
    closed = true;
  }
  changed.notify_all();
}

void RequestQueue::stop() {
  close();
  if (worker.joinable()) worker.join();
}

void RequestQueue::work() {
  trevalon::common::setThreadName("PIPE_QUEUE");
  std::unique_lock<std::mutex> guard(lock);
  for (;;) {
    changed.wait(guard, [this] { return closed || !waiting.empty(); });
    if (closed) return;
    std::shared_ptr<Job> job = waiting.front();
    waiting.pop_front();
    job->state = State::kRunning;
    job->started = std::chrono::steady_clock::now();
    changed.notify_all();
    guard.unlock();
    std::vector<uint8_t> answer = handler(job->request);
    guard.lock();
    if (job->state == State::kAbandoned) {
      TREVALON_LOG(warning, "request 0x%02x answered after its client was told it timed out; answer dropped",
                   static_cast<unsigned>(job->request.empty() ? 0 : job->request[0]));
      continue;
    }
    job->answer = std::move(answer);
    job->state = State::kDone;
    changed.notify_all();
  }
}

}  // namespace kelvo::driver
