// SPDX-License-Identifier: Apache-2.0
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
#include "OwnedFiles.h"
#include "trevalon/common/Log.h"
#include "trevalon/common/ScopeTrace.h"

namespace kelvo::driver {
namespace {

using Clock = std::chrono::steady_clock;

int remainingMs(Clock::time_point deadline) {
  const auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - Clock::now()).count();
  return left > 0 ? static_cast<int>(left) : 0;
}

unsigned codeOf(const std::vector<uint8_t>& request) { return request.empty() ? 0u : request[0]; }

}  // namespace

ReaderSocket::ReaderSocket(std::string path, Handler handler, std::shared_ptr<const PeerPolicy> policy,
                           ReaderSocketLimits limits, Precheck precheck)
    : ReaderSocket(std::move(path), std::make_shared<RequestQueue>(std::move(handler)), std::move(policy), limits,
                   std::move(precheck)) {}

ReaderSocket::ReaderSocket(std::string path, std::shared_ptr<RequestQueue> queue,
                           std::shared_ptr<const PeerPolicy> policy, ReaderSocketLimits limits, Precheck precheck)
    : socketPath(std::move(path)),
      policy(std::move(policy)),
      limits(limits),
      precheck(std::move(precheck)),
      queue(std::move(queue)) {}

ReaderSocket::ConnectionWatch::Wake ReaderSocket::ConnectionWatch::waitFor(int eventFd,
                                                                           Clock::time_point deadline) const {
  for (;;) {
    // No events asked of the client: a half-closed client reads as readable for ever, only its full close
    // (POLLHUP) or an error means it has gone.
    pollfd entries[3] = {{eventFd, POLLIN, 0}, {clientFd, 0, 0}, {stopFd, POLLIN, 0}};
    const int ready = ::poll(entries, 3, remainingMs(deadline));
    if (ready < 0 && errno == EINTR) continue;
    if (ready < 0 || entries[2].revents != 0) return Wake::kStop;
    if (entries[0].revents != 0) return Wake::kEvent;
    if (entries[1].revents != 0) return Wake::kHangUp;
    // poll counts whole milliseconds: the wait is over only when its deadline has passed.
    if (ready == 0 && Clock::now() >= deadline) return Wake::kDeadline;
  }
}

ReaderSocket::~ReaderSocket() { stop(); }

bool ReaderSocket::start() {
  TREVALON_TRACE();
  sockaddr_un address{};
  if (socketPath.size() >= sizeof(address.sun_path)) {
    TREVALON_LOG(error, "socket path too long: %s", socketPath.c_str());
    return false;
  }
  if (!policy) {
    TREVALON_LOG(error, "no access policy for %s", socketPath.c_str());
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
  std::string failure;
  if (!OwnedFiles::clearSocketPath(socketPath, failure)) {
    TREVALON_LOG(error, "refusing the socket %s", failure.c_str());
    return false;
  }
  if (::bind(listenFd, reinterpret_cast<const sockaddr*>(&address), sizeof(address)) != 0) {
    TREVALON_LOG(error, "cannot bind %s: %s", socketPath.c_str(), std::strerror(errno));
    return false;
  }
  // The application's sockets are open to all and each connection's credentials decide who is served.
  if (OwnedFiles::setModeOf(socketPath, limits.fileMode, failure) && ::listen(listenFd, kBacklog) != 0) {
    failure = socketPath + ": " + std::strerror(errno);
  }
  if (!failure.empty()) {
    TREVALON_LOG(error, "cannot listen on %s", failure.c_str());
    ::unlink(socketPath.c_str());
    return false;
  }
  acceptor = std::thread(&ReaderSocket::acceptLoop, this);
  TREVALON_LOG(info, "serving %s", socketPath.c_str());
  return true;
}

void ReaderSocket::markLost() {
  lost = true;
  queue->close();
}

void ReaderSocket::stop() {
  {
    std::lock_guard<std::mutex> guard(connectionsLock);
    if (stopping) return;
    stopping = true;
  }
  TREVALON_TRACE();
  if (acceptor.joinable()) ::unlink(socketPath.c_str());
  if (stopFd >= 0) {
    const uint64_t one = 1;
    [[maybe_unused]] ssize_t ignored = ::write(stopFd, &one, sizeof(one));
  }
  queue->close();
  slotFreed.notify_all();
  if (acceptor.joinable()) acceptor.join();
  // No new connection can appear now; the ones left end at the stop signal, the queue's close, or their deadline.
  std::list<Connection> ending;
  {
    std::lock_guard<std::mutex> guard(connectionsLock);
    ending.swap(connections);
  }
  for (Connection& connection : ending) {
    if (connection.thread.joinable()) connection.thread.join();
  }
  queue->stop();
  if (listenFd >= 0) ::close(listenFd);
  if (stopFd >= 0) ::close(stopFd);
  listenFd = -1;
  stopFd = -1;
}

size_t ReaderSocket::activeConnections() {
  std::lock_guard<std::mutex> guard(connectionsLock);
  return activeLocked();
}

size_t ReaderSocket::activeLocked() const {
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
    admitLocked(clientFd);
  }
}

bool ReaderSocket::waitForFreeSlot() {
  reapFinished();
  std::unique_lock<std::mutex> guard(connectionsLock);
  slotFreed.wait(guard, [this] { return stopping || activeLocked() < limits.total; });
  return !stopping;
}

void ReaderSocket::admitLocked(int clientFd) {
  ucred peer{};
  socklen_t size = sizeof(peer);
  if (::getsockopt(clientFd, SOL_SOCKET, SO_PEERCRED, &peer, &size) != 0) {
    TREVALON_LOG(error, "no credentials for a client of %s: %s", socketPath.c_str(), std::strerror(errno));
    ::close(clientFd);
    return;
  }
  size_t& held = connectionsPerUid[peer.uid];
  if (held >= limits.perUid) {
    turnAway(clientFd, peer.uid);
    return;
  }
  ++held;
  Connection& connection = connections.emplace_back();
  connection.uid = peer.uid;
  connection.thread = std::thread(&ReaderSocket::serve, this, clientFd, &connection, peer.uid, peer.gid, peer.pid);
}

void ReaderSocket::turnAway(int clientFd, uid_t uid) {
  if (reportedAtQuota.insert(uid).second) {
    TREVALON_LOG(warning, "uid %u holds %zu connections to %s; further ones are answered busy",
                 static_cast<unsigned>(uid), limits.perUid, socketPath.c_str());
  }
  const uint8_t busy = kStatusBusy;
  [[maybe_unused]] ssize_t sent = ::send(clientFd, &busy, 1, MSG_NOSIGNAL | MSG_DONTWAIT);
  // Whatever the client has sent so far goes unread, but not left in the buffer: closing over unread bytes would
  // reset the connection and take the status with it. No waiting here: this is the accepting thread.
  std::array<uint8_t, 4096> sink{};
  while (::recv(clientFd, sink.data(), sink.size(), MSG_DONTWAIT) > 0) {
  }
  ::close(clientFd);
}

void ReaderSocket::serve(int clientFd, Connection* connection, uid_t uid, gid_t gid, pid_t pid) {
  trevalon::common::setThreadName("PIPE_CONN");
  const PeerPolicy::Verdict verdict = policy->judge(uid, gid);
  if (verdict == PeerPolicy::Verdict::kRefused) {
    TREVALON_LOG(warning, "refused uid %u (gid %u, pid %d) on %s: %s", static_cast<unsigned>(uid),
                 static_cast<unsigned>(gid), static_cast<int>(pid), socketPath.c_str(), policy->servedPeers().c_str());
    writeAnswer(clientFd, {kStatusAccessRefused});
    drainRequest(clientFd, limits.refusalLinger);
  } else {
    bool tooLarge = false;
    const std::optional<std::vector<uint8_t>> request = readRequest(clientFd, tooLarge);
    if (tooLarge || (request && request->empty())) {
      TREVALON_LOG(warning, "request on %s of a size the driver does not serve", socketPath.c_str());
      writeAnswer(clientFd, {kStatusWrongSize});
      // Closing with the rest of the request unread would reset the connection and lose the answer on its way.
      if (tooLarge) drainRequest(clientFd, limits.ioTimeout);
    } else if (request) {
      writeAnswer(clientFd, answerOf(*request, clientFd));
    }
  }
  ::close(clientFd);
  finish(connection);
}

std::vector<uint8_t> ReaderSocket::answerOf(const std::vector<uint8_t>& request, int clientFd) {
  if (lost) return {kStatusDeviceRemoved};
  if (precheck) {
    if (std::optional<std::vector<uint8_t>> early = precheck(request, ConnectionWatch(clientFd, stopFd))) {
      return lost ? std::vector<uint8_t>{kStatusDeviceRemoved} : *early;
    }
  }
  RequestQueue::Result result = queue->run(request, limits.startDeadline, limits.answerDeadline);
  if (lost) return {kStatusDeviceRemoved};
  switch (result.outcome) {
    case RequestQueue::Outcome::kAnswered:
      break;
    case RequestQueue::Outcome::kNotStarted:
      TREVALON_LOG(warning, "request 0x%02x on %s could not reach the reader within %lld ms: busy", codeOf(request),
                   socketPath.c_str(), static_cast<long long>(limits.startDeadline.count()));
      return {kStatusBusy};
    case RequestQueue::Outcome::kTimedOut:
      TREVALON_LOG(warning, "request 0x%02x on %s had no answer from the reader within %lld ms: timed out",
                   codeOf(request), socketPath.c_str(), static_cast<long long>(limits.answerDeadline.count()));
      return {kStatusTimedOut};
    case RequestQueue::Outcome::kClosed:
      return {kStatusDeviceRemoved};
  }
  if (result.answer.empty() || result.answer.size() > limits.maxMessage) {
    TREVALON_LOG(error, "answer of %zu bytes cannot be sent", result.answer.size());
    return {kStatusRefused};
  }
  return std::move(result.answer);
}

void ReaderSocket::finish(Connection* connection) {
  {
    std::lock_guard<std::mutex> guard(connectionsLock);
    connection->done = true;
    auto held = connectionsPerUid.find(connection->uid);
    if (held != connectionsPerUid.end() && --held->second == 0) connectionsPerUid.erase(held);
    reportedAtQuota.erase(connection->uid);
  }
  slotFreed.notify_all();
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

std::optional<std::vector<uint8_t>> ReaderSocket::readRequest(int clientFd, bool& tooLarge) {
  const auto deadline = Clock::now() + limits.ioTimeout;
  std::vector<uint8_t> request(limits.maxMessage + 1);
  size_t received = 0;
  for (;;) {
    const ssize_t count = ::recv(clientFd, request.data() + received, request.size() - received, 0);
    if (count > 0) {
      received += static_cast<size_t>(count);
      if (received > limits.maxMessage) {
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

void ReaderSocket::drainRequest(int clientFd, std::chrono::milliseconds limit) {
  ::shutdown(clientFd, SHUT_WR);
  const auto deadline = Clock::now() + limit;
  std::array<uint8_t, 4096> sink{};
  for (;;) {
    const ssize_t count = ::recv(clientFd, sink.data(), sink.size(), 0);
    if (count > 0 || (count < 0 && errno == EINTR)) continue;
    if (count == 0 || errno != EAGAIN || waitReady(clientFd, POLLIN, deadline) != 0) return;
  }
}

void ReaderSocket::writeAnswer(int clientFd, const std::vector<uint8_t>& answer) {
  const auto deadline = Clock::now() + limits.ioTimeout;
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
