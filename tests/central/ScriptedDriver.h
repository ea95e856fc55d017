// SPDX-License-Identifier: Apache-2.0
#pragma once
// A stand-in for the reader driver on one reader's socket: each connection gets the next scripted reaction (an
// answer, or a hang-up before any answer), and every request that arrived is kept for the test to inspect.
// Without a script it answers status 0 followed by the request's payload.

#include <poll.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <condition_variable>
#include <cstring>
#include <deque>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

namespace kelvo::test {

class ScriptedDriver {
 public:
  using Bytes = std::vector<uint8_t>;

  explicit ScriptedDriver(const std::string& socketPath) : path(socketPath) {
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    std::strncpy(address.sun_path, path.c_str(), sizeof(address.sun_path) - 1);
    listenFd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    listening = ::bind(listenFd, reinterpret_cast<const sockaddr*>(&address), sizeof(address)) == 0 &&
                ::listen(listenFd, 64) == 0;
    if (::pipe(stopPipe) == 0 && listening) server = std::thread(&ScriptedDriver::run, this);
  }

  ~ScriptedDriver() {
    if (stopPipe[1] >= 0) {
      [[maybe_unused]] ssize_t ignored = ::write(stopPipe[1], "x", 1);
    }
    if (server.joinable()) server.join();
    ::close(listenFd);
    ::close(stopPipe[0]);
    ::close(stopPipe[1]);
    ::unlink(path.c_str());
  }

  bool isListening() const { return listening; }

  void answer(Bytes bytes) { push(Reaction{std::move(bytes)}); }
  // The connection is closed after the request without a byte of answer.
  void hangUp() { push(Reaction{std::nullopt}); }

  std::vector<Bytes> requests() {
    std::lock_guard<std::mutex> guard(lock);
    return received;
  }

 private:
  struct Reaction {
    std::optional<Bytes> answer;
  };

  void push(Reaction reaction) {
    std::lock_guard<std::mutex> guard(lock);
    script.push_back(std::move(reaction));
  }

  void run() {
    for (;;) {
      pollfd entries[2] = {{listenFd, POLLIN, 0}, {stopPipe[0], POLLIN, 0}};
      if (::poll(entries, 2, -1) <= 0 || entries[1].revents != 0) return;
      const int client = ::accept4(listenFd, nullptr, nullptr, SOCK_CLOEXEC);
      if (client < 0) continue;
      serve(client);
      ::close(client);
    }
  }

  void serve(int client) {
    Bytes request;
    uint8_t chunk[2048];
    for (;;) {
      const ssize_t count = ::recv(client, chunk, sizeof(chunk), 0);
      if (count <= 0) break;
      request.insert(request.end(), chunk, chunk + count);
    }
    Reaction reaction;
    {
      std::lock_guard<std::mutex> guard(lock);
      received.push_back(request);
      if (script.empty()) {
        Bytes echo{0};
        if (!request.empty()) echo.insert(echo.end(), request.begin() + 1, request.end());
        reaction.answer = echo;
      } else {
        reaction = script.front();
        script.pop_front();
      }
    }
    if (!reaction.answer) return;
    ::send(client, reaction.answer->data(), reaction.answer->size(), MSG_NOSIGNAL);
  }

  const std::string path;
  int listenFd = -1;
  int stopPipe[2] = {-1, -1};
  bool listening = false;
  std::thread server;
  std::mutex lock;
  std::deque<Reaction> script;
  std::vector<Bytes> received;
};

}  // namespace kelvo::test
