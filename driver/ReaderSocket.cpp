#include "ReaderSocket.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <array>
#include <cerrno>
#include <cstring>

#include "DriverStatus.h"
#include "trevalon/common/Log.h"
#include "trevalon/common/ScopeTrace.h"

namespace kelvo::driver {
namespace {

using Clock = std::chrono::steady_clock;

int remainingMs(Clock::time_point deadline) {
  const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
  return left > 0 ? static_cast<int>(left) : 0;
}

}  // namespace

ReaderSocket::ReaderSocket(std::string path, Handler handler)
    : socketPath(std::move(path)), handler(std::move(handler)) {}

ReaderSocket::~ReaderSocket() {
  stop();
}

bool ReaderSocket::start() {
  TREVALON_TRACE();
  sockaddr_un address{};
  if (socketPath.size() >= sizeof(address.sun_path)) {
    TREVALON_LOG(error, "socket path too long: %s", socketPath.c_str());
    return false;
  }
  address.sun_family = AF_UNIX;
  std::memcpy(address.sun_path, socketPath.c_str(), socketPath.size());
  stopFd = ::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
  listenFd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
  if (stopFd < 0 || listenFd < 0) {
    TREVALON_LOG(error, "cannot create a socket: %s", std::strerror(errno));
    return false;
  }
  // A file left by a driver that did not stop cleanly would make bind fail.
  ::unlink(socketPath.c_str());
  if (::bind(listenFd, reinterpret_cast<const sockaddr*>(&address), sizeof(address)) != 0 ||
      ::chmod(socketPath.c_str(), 0666) != 0 || ::listen(listenFd, kBacklog) != 0) {
    TREVALON_LOG(error, "cannot listen on %s: %s", socketPath.c_str(), std::strerror(errno));
    ::unlink(socketPath.c_str());
    return false;
  }
  acceptor = std::thread(&ReaderSocket::acceptLoop, this);
  TREVALON_LOG(info, "serving %s", socketPath.c_str());
  return true;
}

void ReaderSocket::markLost() {
  lost = true;
}

void ReaderSocket::stop() {
  {
    std::lock_guard<std::mutex> guard(connectionsLock);
    if (stopping) return;
    stopping = true;
  }
  TREVALON_TRACE();
  if (listenFd >= 0) ::unlink(socketPath.c_str());
  if (stopFd >= 0) {
    const uint64_t one = 1;
    [[maybe_unused]] ssize_t ignored = ::write(stopFd, &one, sizeof(one));
  }
  slotFreed.notify_all();
  if (acceptor.joinable()) acceptor.join();
  // No new connection can appear now; the ones left end at the stop signal or their deadline.
  std::list<Connection> ending;
  {
    std::lock_guard<std::mutex> guard(connectionsLock);
    ending.swap(connections);
  }
  for (Connection& connection : ending) {
    if (connection.thread.joinable()) connection.thread.join();
  }
  if (listenFd >= 0) ::close(listenFd);
  if (stopFd >= 0) ::close(stopFd);
  listenFd = -1;
  stopFd = -1;
}

size_t ReaderSocket::activeConnections() {
  std::lock_guard<std::mutex> guard(connectionsLock);
  size_t active = 0;
  for (const Connection& connection : connections) active += connection.done ? 0 : 1;
  return active;
}

void ReaderSocket::acceptLoop() {
  trevalon::common::setThreadName("PIPE_SERV");
  for (;;) {
    if (!waitForFreeSlot()) return;
    pollfd entries[2] = {{listenFd, POLLIN, 0}, {stopFd, POLLIN, 0}};
    if (::poll(entries, 2, -1) < 0) {
      if (errno == EINTR) continue;
      TREVALON_LOG(error, "poll on %s failed: %s", socketPath.c_str(), std::strerror(errno));
      return;
    }
    if (entries[1].revents != 0) return;
    const int clientFd = ::accept4(listenFd, nullptr, nullptr, SOCK_CLOEXEC | SOCK_NONBLOCK);
    if (clientFd < 0) continue;  // the client gave up between poll and accept
    std::lock_guard<std::mutex> guard(connectionsLock);
    Connection& connection = connections.emplace_back();
    connection.thread = std::thread(&ReaderSocket::serve, this, clientFd, &connection);
  }
}

bool ReaderSocket::waitForFreeSlot() {
  reapFinished();
  std::unique_lock<std::mutex> guard(connectionsLock);
  slotFreed.wait(guard, [this] {
    size_t active = 0;
    for (const Connection& connection : connections) active += connection.done ? 0 : 1;
    return stopping || active < kMaxConnections;
  });
  return !stopping;
}

void ReaderSocket::reapFinished() {
  std::list<Connection> finished;
  {
    std::lock_guard<std::mutex> guard(connectionsLock);
    for (auto it = connections.begin(); it != connections.end();) {
      auto next = std::next(it);
      if (it->done) finished.splice(finished.end(), connections, it);
      it = next;
    }
  }
  for (Connection& connection : finished) connection.thread.join();
}

void ReaderSocket::serve(int clientFd, Connection* connection) {
  trevalon::common::setThreadName("PIPE_CONN");
  bool tooLarge = false;
  const std::optional<std::vector<uint8_t>> request = readRequest(clientFd, tooLarge);
  if (tooLarge || (request && request->empty())) {
    TREVALON_LOG(warning, "request on %s of a size the driver does not serve", socketPath.c_str());
    writeAnswer(clientFd, {kStatusWrongSize});
    // Closing with the rest of the request unread would reset the connection and lose the answer on its way.
    if (tooLarge) drainRequest(clientFd);
  } else if (request) {
    std::vector<uint8_t> answer = lost ? std::vector<uint8_t>{} : handler(*request);
    if (lost) answer = {kStatusDeviceRemoved};
    if (answer.empty() || answer.size() > kMaxMessage) {
      TREVALON_LOG(error, "answer of %zu bytes cannot be sent", answer.size());
      answer = {kStatusRefused};
    }
    writeAnswer(clientFd, answer);
  }
  ::close(clientFd);
  {
    std::lock_guard<std::mutex> guard(connectionsLock);
    connection->done = true;
  }
  slotFreed.notify_all();
}

std::optional<std::vector<uint8_t>> ReaderSocket::readRequest(int clientFd, bool& tooLarge) {
  const auto deadline = Clock::now() + kRequestTimeout;
  std::vector<uint8_t> request(kMaxMessage + 1);
  size_t received = 0;
  for (;;) {
    const ssize_t count = ::recv(clientFd, request.data() + received, request.size() - received, 0);
    if (count > 0) {
      received += static_cast<size_t>(count);
      if (received > kMaxMessage) {
        tooLarge = true;
        return std::nullopt;
      }
      continue;
    }
    if (count == 0) {
      request.resize(received);
      return request;
    }
    if (errno == EINTR) continue;
    if (errno != EAGAIN || waitReady(clientFd, POLLIN, deadline) != 0) {
      if (received > 0) TREVALON_LOG(info, "half request of %zu bytes on %s dropped", received, socketPath.c_str());
      return std::nullopt;
    }
  }
}

void ReaderSocket::drainRequest(int clientFd) {
  ::shutdown(clientFd, SHUT_WR);
  const auto deadline = Clock::now() + kRequestTimeout;
  std::array<uint8_t, 4096> sink{};
  for (;;) {
    const ssize_t count = ::recv(clientFd, sink.data(), sink.size(), 0);
    if (count > 0 || (count < 0 && errno == EINTR)) continue;
    if (count == 0 || errno != EAGAIN || waitReady(clientFd, POLLIN, deadline) != 0) return;
  }
}

void ReaderSocket::writeAnswer(int clientFd, const std::vector<uint8_t>& answer) {
  const auto deadline = Clock::now() + kRequestTimeout;
  size_t sent = 0;
  while (sent < answer.size()) {
    const ssize_t count = ::send(clientFd, answer.data() + sent, answer.size() - sent, MSG_NOSIGNAL);
    if (count >= 0) {
      sent += static_cast<size_t>(count);
      continue;
    }
    if (errno == EINTR) continue;
    // A client that hung up or stopped reading loses its answer; nobody else waits for it.
    if (errno != EAGAIN || waitReady(clientFd, POLLOUT, deadline) != 0) return;
  }
}

int ReaderSocket::waitReady(int fd, short events, Clock::time_point deadline) {
  for (;;) {
    pollfd entries[2] = {{fd, events, 0}, {stopFd, POLLIN, 0}};
    const int ready = ::poll(entries, 2, remainingMs(deadline));
    if (ready < 0 && errno == EINTR) continue;
    if (ready <= 0 || entries[1].revents != 0) return -1;
    return 0;
  }
}

}  // namespace kelvo::driver
