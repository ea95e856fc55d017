// SPDX-License-Identifier: Apache-2.0
#include "CardChannelClient.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <thread>
#include <utility>

namespace kelvo::ifd {

namespace {

// A connect to a listener whose backlog is full fails at once on a non-blocking Unix socket; it is tried again
// this often until the connect deadline.
constexpr std::chrono::milliseconds kConnectRetry{10};

std::string describeErrno(const char* what, int error) { return std::string(what) + ": " + std::strerror(error); }

bool isSocketGone(int error) { return error == ENOENT || error == ECONNREFUSED || error == ENOTDIR; }

int millisecondsUntil(std::chrono::steady_clock::time_point deadline) {
  const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
  return left.count() <= 0 ? 0 : static_cast<int>(left.count());
}

}  // namespace

CardChannelClient::CardChannelClient(std::string socketPath, CardChannelTimeouts timeouts)
    : socketPath(std::move(socketPath)), timeouts(timeouts) {}

CardChannelClient::Answer CardChannelClient::request(uint8_t code, const std::vector<uint8_t>& payload) {
  return request(code, payload, timeouts.request);
}

CardChannelClient::Answer CardChannelClient::request(uint8_t code, const std::vector<uint8_t>& payload,
                                                     std::chrono::milliseconds limit) {
  Answer answer;
  if (payload.size() + 1 > cardchannel::kMaxMessage) {
    answer.failure = "a request of " + std::to_string(payload.size() + 1) + " bytes is over the card channel's limit";
    return answer;
  }
  const int fd = openSocket(answer);
  if (fd < 0) return answer;
  std::vector<uint8_t> message;
  message.reserve(payload.size() + 1);
  message.push_back(code);
  message.insert(message.end(), payload.begin(), payload.end());
  const auto deadline = Clock::now() + limit;
  if (connectSocket(fd, answer) && sendRequest(fd, message, deadline, answer)) readAnswer(fd, deadline, answer);
  closeSocket(fd);
  return answer;
}

void CardChannelClient::cancel() {
  const std::lock_guard<std::mutex> lock(mutex);
  cancelPending = true;
  // The descriptor stays open until its request closes it under the same lock, so it cannot be another one by now.
  if (activeFd >= 0) ::shutdown(activeFd, SHUT_RDWR);
}

int CardChannelClient::openSocket(Answer& answer) {
  const std::lock_guard<std::mutex> lock(mutex);
  if (cancelPending) {
    cancelPending = false;
    answer.outcome = Outcome::Cancelled;
    answer.failure = "stopped";
    return -1;
  }
  const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
  if (fd < 0) {
    answer.failure = describeErrno("socket", errno);
    return -1;
  }
  activeFd = fd;
  return fd;
}

void CardChannelClient::closeSocket(int fd) {
  const std::lock_guard<std::mutex> lock(mutex);
  activeFd = -1;
  // A cancel that came during this request was meant for it, even one that came too late to end it early.
  cancelPending = false;
  ::close(fd);
}

bool CardChannelClient::isCancelled() {
  const std::lock_guard<std::mutex> lock(mutex);
  return cancelPending;
}

bool CardChannelClient::connectSocket(int fd, Answer& answer) {
  sockaddr_un address{};
  address.sun_family = AF_UNIX;
  if (socketPath.size() >= sizeof(address.sun_path)) {
    answer.failure = "the socket path is too long";
    return false;
  }
  std::memcpy(address.sun_path, socketPath.c_str(), socketPath.size() + 1);
  const auto deadline = Clock::now() + timeouts.connect;
  for (;;) {
    if (::connect(fd, reinterpret_cast<const sockaddr*>(&address), sizeof(address)) == 0) return true;
    const int error = errno;
    if (error == EINPROGRESS) break;
    if (isSocketGone(error)) {
      answer.outcome = Outcome::SocketGone;
      answer.failure = describeErrno("connect", error);
      return false;
    }
    if (error != EAGAIN && error != EINTR) {
      answer.failure = describeErrno("connect", error);
      return false;
    }
    if (isCancelled()) {
      answer.outcome = Outcome::Cancelled;
      answer.failure = "stopped";
      return false;
    }
    if (Clock::now() + kConnectRetry > deadline) {
      answer.failure = "connect: the driver accepts no connection";
      return false;
    }
    std::this_thread::sleep_for(kConnectRetry);
  }
  if (!waitFor(fd, POLLOUT, deadline, "connect", answer)) return false;
  int error = 0;
  socklen_t length = sizeof(error);
  if (::getsockopt(fd, SOL_SOCKET, SO_ERROR, &error, &length) != 0) error = errno;
  if (error == 0) return true;
  answer.outcome = isSocketGone(error) ? Outcome::SocketGone : Outcome::Failed;
  answer.failure = describeErrno("connect", error);
  return false;
}

bool CardChannelClient::sendRequest(int fd, const std::vector<uint8_t>& message, Clock::time_point deadline,
                                    Answer& answer) {
  size_t sent = 0;
  while (sent < message.size()) {
    const ssize_t count = ::send(fd, message.data() + sent, message.size() - sent, MSG_NOSIGNAL);
    if (count > 0) {
      sent += static_cast<size_t>(count);
      continue;
    }
    if (count < 0 && errno == EINTR) continue;
    if (count < 0 && errno == EAGAIN) {
      if (!waitFor(fd, POLLOUT, deadline, "send", answer)) return false;
      continue;
    }
    answer.failure = isCancelled() ? "stopped" : describeErrno("send", count < 0 ? errno : EPIPE);
    if (isCancelled()) answer.outcome = Outcome::Cancelled;
    return false;
  }
  // The half-close tells the driver the request is complete.
  if (::shutdown(fd, SHUT_WR) != 0) {
    answer.failure = describeErrno("shutdown", errno);
    return false;
  }
  return true;
}

bool CardChannelClient::readAnswer(int fd, Clock::time_point deadline, Answer& answer) {
  std::vector<uint8_t> received;
  uint8_t chunk[cardchannel::kMaxMessage + 1];
  for (;;) {
    if (!waitFor(fd, POLLIN, deadline, "the answer", answer)) return false;
    const ssize_t count = ::recv(fd, chunk, sizeof(chunk), 0);
    if (count < 0) {
      if (errno == EINTR || errno == EAGAIN) continue;
      answer.failure = describeErrno("recv", errno);
      return false;
    }
    // A shut-down connection reads as an end too; the cancel, not the driver, ended it.
    if (isCancelled()) {
      answer.outcome = Outcome::Cancelled;
      answer.failure = "stopped";
      return false;
    }
    if (count == 0) break;
    received.insert(received.end(), chunk, chunk + count);
    if (received.size() > cardchannel::kMaxMessage) {
      answer.failure = "the answer is over the card channel's limit";
      return false;
    }
  }
  if (received.empty()) {
    answer.failure = "the driver closed the connection without an answer";
    return false;
  }
  answer.outcome = Outcome::Answered;
  answer.status = received.front();
  answer.payload.assign(received.begin() + 1, received.end());
  return true;
}

bool CardChannelClient::waitFor(int fd, short events, Clock::time_point deadline, const char* step, Answer& answer) {
  for (;;) {
    pollfd entry{fd, events, 0};
    const int ready = ::poll(&entry, 1, millisecondsUntil(deadline));
    if (ready < 0 && errno == EINTR) continue;
    if (ready < 0) {
      answer.failure = describeErrno("poll", errno);
      return false;
    }
    if (isCancelled()) {
      answer.outcome = Outcome::Cancelled;
      answer.failure = "stopped";
      return false;
    }
    if (ready == 0) {
      answer.failure = std::string("timed out waiting for ") + step;
      return false;
    }
    // Errors and hang-ups are left to the following send or recv, which names them.
    return true;
  }
}

}  // namespace kelvo::ifd
