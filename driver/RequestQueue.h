// SPDX-License-Identifier: Apache-2.0
#pragma once
// The requests of one reader, run one at a time on a thread of the queue's own. The library serialises a reader's
// requests anyway; queueing them here lets a waiting client be told where it stands instead of hearing nothing
// for as long as the reader in front of it takes. A request that cannot start within its start deadline is taken
// off the queue and never reaches the reader (busy); one that started but has no answer within its answer deadline
// is left to finish on its own, its answer dropped (timed out).

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

namespace kelvo::driver {

class RequestQueue {
 public:
  // Answers one whole request (code first) with the whole answer (status first).
  using Handler = std::function<std::vector<uint8_t>(const std::vector<uint8_t>& request)>;

  enum class Outcome { kAnswered, kNotStarted, kTimedOut, kClosed };
  struct Result {
    Outcome outcome;
    std::vector<uint8_t> answer;  // kAnswered only
  };

  explicit RequestQueue(Handler handler);
  ~RequestQueue();
  RequestQueue(const RequestQueue&) = delete;
  RequestQueue& operator=(const RequestQueue&) = delete;

  // Waits for the request's turn (at most `startDeadline`) and for its answer (at most `answerDeadline` after it
  // started), or until the queue is closed.
  Result run(const std::vector<uint8_t>& request, std::chrono::milliseconds startDeadline,
             std::chrono::milliseconds answerDeadline);
  // Answers every waiting caller kClosed at once and runs nothing more; a request already running finishes.
  void close();
  // Closes, then waits for the running request to finish.
  void stop();

 private:
  enum class State { kQueued, kRunning, kDone, kAbandoned };
  struct Job {
    std::vector<uint8_t> request;
    std::vector<uint8_t> answer;
    State state = State::kQueued;
    std::chrono::steady_clock::time_point started;
  };

  void work();

  const Handler handler;
  std::mutex lock;
  std::condition_variable changed;
  std::deque<std::shared_ptr<Job>> waiting;
  bool closed = false;
  std::thread worker;
};

}  // namespace kelvo::driver
