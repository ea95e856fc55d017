// SPDX-License-Identifier: Apache-2.0
#include "DriverExchange.h"

#include <poll.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace kelvo::campaign {
namespace {

int connectTo(const std::string& path, int& error) {
  sockaddr_un address{};
  address.sun_family = AF_UNIX;
  std::strncpy(address.sun_path, path.c_str(), sizeof(address.sun_path) - 1);
  const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (fd < 0) {
    error = errno;
    return -1;
  }
  if (::connect(fd, reinterpret_cast<const sockaddr*>(&address), sizeof(address)) != 0) {
    error = errno;
    ::close(fd);
    return -1;
  }
  return fd;
}

bool sendAll(int fd, const std::vector<uint8_t>& request) {
  size_t sent = 0;
  while (sent < request.size()) {
    const ssize_t count = ::send(fd, request.data() + sent, request.size() - sent, MSG_NOSIGNAL);
    if (count <= 0) return false;
    sent += static_cast<size_t>(count);
  }
  return ::shutdown(fd, SHUT_WR) == 0;
}

}  // namespace

DriverExchange DriverExchange::run(const std::string& socketPath, const std::vector<uint8_t>& request,
                                   std::chrono::milliseconds deadline) {
  using Clock = std::chrono::steady_clock;
  const auto start = Clock::now();
  DriverExchange result;
  auto finish = [&](Outcome outcome) {
    result.outcome = outcome;
    result.took = std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start);
    return result;
  };
  const int fd = connectTo(socketPath, result.error);
  if (fd < 0) return finish(Outcome::notConnected);
  // A driver that closes before reading all of the request answers nothing: that shows as an empty close below.
  sendAll(fd, request);
  const auto end = start + deadline;
  for (;;) {
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(end - Clock::now());
    pollfd entry{fd, POLLIN, 0};
    const int ready = left.count() <= 0 ? 0 : ::poll(&entry, 1, static_cast<int>(left.count()));
    if (ready < 0 && errno == EINTR) continue;
    if (ready == 0) {
      ::close(fd);
      return finish(Outcome::timedOut);
    }
    uint8_t chunk[2048];
    const ssize_t count = ::recv(fd, chunk, sizeof chunk, 0);
    if (count < 0 && errno == EINTR) continue;
    if (count <= 0) break;
    result.answer.insert(result.answer.end(), chunk, chunk + count);
  }
  ::close(fd);
  return finish(result.answer.empty() ? Outcome::closedEmpty : Outcome::answered);
}

}  // namespace kelvo::campaign
