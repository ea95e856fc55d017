// SPDX-License-Identifier: Apache-2.0
#include "FakeCardChannel.h"

#include <poll.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <utility>

namespace kelvo::test {

namespace {

constexpr std::chrono::milliseconds kTick{10};

std::vector<uint8_t> readToEnd(int fd) {
  std::vector<uint8_t> bytes;
  uint8_t chunk[2048];
  for (;;) {
    pollfd entry{fd, POLLIN, 0};
    if (::poll(&entry, 1, 5000) <= 0) return bytes;
    const ssize_t count = ::recv(fd, chunk, sizeof(chunk), 0);
    if (count <= 0) return bytes;
    bytes.insert(bytes.end(), chunk, chunk + count);
  }
}

void writeAll(int fd, const std::vector<uint8_t>& bytes) {
  size_t sent = 0;
  while (sent < bytes.size()) {
    const ssize_t count = ::send(fd, bytes.data() + sent, bytes.size() - sent, MSG_NOSIGNAL);
    if (count <= 0) return;
    sent += static_cast<size_t>(count);
  }
}

}  // namespace

FakeCardChannel::FakeCardChannel(std::string path) : socketPath(std::move(path)) {}

FakeCardChannel::~FakeCardChannel() { stop(); }

bool FakeCardChannel::start() {
  sockaddr_un address{};
  address.sun_family = AF_UNIX;
  std::strncpy(address.sun_path, socketPath.c_str(), sizeof(address.sun_path) - 1);
  listenFd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (listenFd < 0) return false;
  if (::bind(listenFd, reinterpret_cast<const sockaddr*>(&address), sizeof(address)) != 0 ||
      ::listen(listenFd, 16) != 0) {
    ::close(listenFd);
    listenFd = -1;
    return false;
  }
  acceptor = std::thread([this] { acceptLoop(); });
  return true;
}

void FakeCardChannel::stop() {
  if (listenFd < 0) return;
  ::unlink(socketPath.c_str());
  stopping = true;
  changed.notify_all();
  acceptor.join();
  ::close(listenFd);
  listenFd = -1;
  std::vector<std::thread> ending;
  {
    const std::lock_guard<std::mutex> lock(mutex);
    ending.swap(connections);
  }
  for (auto& connection : ending) connection.join();
}

void FakeCardChannel::acceptLoop() {
  while (!stopping) {
    pollfd entry{listenFd, POLLIN, 0};
    if (::poll(&entry, 1, static_cast<int>(kTick.count())) <= 0) continue;
    const int fd = ::accept4(listenFd, nullptr, nullptr, SOCK_CLOEXEC);
    if (fd < 0) continue;
    const std::lock_guard<std::mutex> lock(mutex);
    connections.emplace_back([this, fd] { serve(fd); });
  }
}

void FakeCardChannel::serve(int fd) {
  const std::vector<uint8_t> message = readToEnd(fd);
  if (!message.empty()) {
    Request request{message.front(), std::vector<uint8_t>(message.begin() + 1, message.end())};
    {
      const std::lock_guard<std::mutex> lock(mutex);
      received.push_back(request);
    }
    const Reply reply = answer(fd, request);
    if (!reply.hangUp) writeAll(fd, reply.bytes);
  }
  ::close(fd);
}

FakeCardChannel::Reply FakeCardChannel::answer(int fd, const Request& request) {
  Override replacement;
  {
    const std::lock_guard<std::mutex> lock(mutex);
    replacement = override;
  }
  if (replacement) {
    if (auto reply = replacement(request)) return *reply;
  }
  if (request.code == 0x44) return waitForChange(fd, request);
  const std::lock_guard<std::mutex> lock(mutex);
  switch (request.code) {
    case 0x40:
      return Reply{{0, static_cast<uint8_t>(cardPresent ? 1 : 0)}};
    case 0x41: {
      if (!cardPresent) return Reply{{10}};
      std::vector<uint8_t> bytes{0};
      bytes.insert(bytes.end(), atr.begin(), atr.end());
      return Reply{bytes};
    }
    case 0x42:
      return Reply{{0}};
    case 0x43: {
      if (!cardPresent) return Reply{{10}};
      std::vector<uint8_t> bytes{0};
      const std::vector<uint8_t> response =
          apduResponder ? apduResponder(request.payload) : std::vector<uint8_t>{0x90, 0x00};
      bytes.insert(bytes.end(), response.begin(), response.end());
      return Reply{bytes};
    }
    default:
      return Reply{{7}};
  }
}

FakeCardChannel::Reply FakeCardChannel::waitForChange(int fd, const Request& request) {
  if (request.payload.size() != 5) return Reply{{5}};
  const bool known = request.payload[0] != 0;
  const uint32_t waitMs = static_cast<uint32_t>(request.payload[1]) | static_cast<uint32_t>(request.payload[2]) << 8 |
                          static_cast<uint32_t>(request.payload[3]) << 16 |
                          static_cast<uint32_t>(request.payload[4]) << 24;
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(waitMs);
  std::unique_lock<std::mutex> lock(mutex);
  ++heldWaits;
  changed.notify_all();
  Reply reply{{}, true};
  for (;;) {
    if (cardPresent != known || std::chrono::steady_clock::now() >= deadline) {
      reply = Reply{{0, static_cast<uint8_t>(cardPresent ? 1 : 0)}};
      break;
    }
    if (stopping) break;
    // The client's hang-up shows as POLLHUP once it shuts down both ways or closes.
    pollfd entry{fd, 0, 0};
    if (::poll(&entry, 1, 0) > 0 && (entry.revents & (POLLHUP | POLLERR)) != 0) {
      ++hungUpWaits;
      break;
    }
    changed.wait_for(lock, kTick);
  }
  --heldWaits;
  changed.notify_all();
  return reply;
}

void FakeCardChannel::setCardPresent(bool present) {
  {
    const std::lock_guard<std::mutex> lock(mutex);
    cardPresent = present;
  }
  changed.notify_all();
}

void FakeCardChannel::setAtr(std::vector<uint8_t> newAtr) {
  const std::lock_guard<std::mutex> lock(mutex);
  atr = std::move(newAtr);
}

void FakeCardChannel::setApduResponder(ApduResponder responder) {
  const std::lock_guard<std::mutex> lock(mutex);
  apduResponder = std::move(responder);
}

void FakeCardChannel::setOverride(Override replacement) {
  const std::lock_guard<std::mutex> lock(mutex);
  override = std::move(replacement);
}

std::vector<FakeCardChannel::Request> FakeCardChannel::requests() {
  const std::lock_guard<std::mutex> lock(mutex);
  return received;
}

std::vector<uint8_t> FakeCardChannel::requestCodes() {
  std::vector<uint8_t> codes;
  for (const auto& request : requests()) codes.push_back(request.code);
  return codes;
}

int FakeCardChannel::waitsInProgress() {
  const std::lock_guard<std::mutex> lock(mutex);
  return heldWaits;
}

int FakeCardChannel::waitsEndedByClient() {
  const std::lock_guard<std::mutex> lock(mutex);
  return hungUpWaits;
}

bool FakeCardChannel::awaitWaits(int count, std::chrono::milliseconds limit) {
  std::unique_lock<std::mutex> lock(mutex);
  return changed.wait_for(lock, limit, [&] { return heldWaits >= count; });
}

}  // namespace kelvo::test
