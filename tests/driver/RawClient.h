// SPDX-License-Identifier: Apache-2.0
#pragma once
// A client of the driver's sockets that can misbehave: plain request/answer exchanges, and connections that
// send part of a request, send nothing, or never read.

#include <poll.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <chrono>
#include <cstring>
#include <optional>
#include <string>
#include <thread>
#include <vector>

namespace kelvo::test {

class RawClient {
 public:
  // A connected socket, or -1.
  static int connectTo(const std::string& path) {
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    std::strncpy(address.sun_path, path.c_str(), sizeof(address.sun_path) - 1);
    const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0) return -1;
    if (::connect(fd, reinterpret_cast<const sockaddr*>(&address), sizeof(address)) != 0) {
      ::close(fd);
      return -1;
    }
    return fd;
  }

  // Everything the peer sends until it closes, or nothing if it does not close within `limit`.
  static std::optional<std::vector<uint8_t>> readToEnd(int fd, std::chrono::milliseconds limit) {
    std::vector<uint8_t> answer;
    const auto deadline = std::chrono::steady_clock::now() + limit;
    for (;;) {
      const auto left =
          std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
      pollfd entry{fd, POLLIN, 0};
      if (left.count() <= 0 || ::poll(&entry, 1, static_cast<int>(left.count())) <= 0) return std::nullopt;
      uint8_t chunk[2048];
      const ssize_t count = ::recv(fd, chunk, sizeof(chunk), 0);
      if (count < 0) return std::nullopt;
      if (count == 0) return answer;
      answer.insert(answer.end(), chunk, chunk + count);
    }
  }

  // One whole exchange: the request, the half-close, the answer. Nothing when the socket cannot be reached.
  static std::optional<std::vector<uint8_t>> exchange(const std::string& path, const std::vector<uint8_t>& request,
                                                      std::chrono::milliseconds limit = std::chrono::seconds(10)) {
    const int fd = connectTo(path);
    if (fd < 0) return std::nullopt;
    size_t sent = 0;
    while (sent < request.size()) {
      const ssize_t count = ::send(fd, request.data() + sent, request.size() - sent, MSG_NOSIGNAL);
      if (count <= 0) break;
      sent += static_cast<size_t>(count);
    }
    ::shutdown(fd, SHUT_WR);
    std::optional<std::vector<uint8_t>> answer = readToEnd(fd, limit);
    ::close(fd);
    return answer;
  }

  static bool waitForPath(const std::string& path, bool present, std::chrono::milliseconds limit) {
    const auto deadline = std::chrono::steady_clock::now() + limit;
    while (std::chrono::steady_clock::now() < deadline) {
      if ((::access(path.c_str(), F_OK) == 0) == present) return true;
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return (::access(path.c_str(), F_OK) == 0) == present;
  }
};

}  // namespace kelvo::test
