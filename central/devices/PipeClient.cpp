// SPDX-License-Identifier: Apache-2.0
#include "PipeClient.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <QFile>
#include <QThread>
#include <cerrno>
#include <chrono>
#include <cstring>

#include "trevalon/local/Paths.h"

namespace {

using Clock = std::chrono::steady_clock;

// Closes the socket on every way out of a call.
class SocketGuard {
 public:
  explicit SocketGuard(int fd) : fd(fd) {}
  ~SocketGuard() {
    if (fd >= 0) ::close(fd);
  }
  SocketGuard(const SocketGuard&) = delete;
  SocketGuard& operator=(const SocketGuard&) = delete;
  int get() const { return fd; }

 private:
  const int fd;
};

int remainingMs(Clock::time_point deadline) {
  const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
  return left > 0 ? static_cast<int>(left) : 0;
}

// Waits for `events` on the socket until the deadline; 0 when ready, else the errno to report.
int waitFor(int fd, short events, Clock::time_point deadline) {
  for (;;) {
    pollfd entry{fd, events, 0};
    const int ready = ::poll(&entry, 1, remainingMs(deadline));
    if (ready > 0) return 0;
    if (ready == 0) return ETIMEDOUT;
    if (errno != EINTR) return errno;
  }
}

bool isBrokenPipe(int error) { return error == EPIPE || error == ECONNRESET; }

}  // namespace

PipeClient::PipeClient(const QString& clientName, QObject* parent) : QObject(parent), name(clientName) {}

QString PipeClient::pipeName() const {
  return QString::fromStdString(trevalon::local::Paths::runtimeDirectory()) +
         QStringLiteral("/omnivex#ipc#ver%1#%2").arg(kProtocolVersion).arg(name);
}

bool PipeClient::exchange(uint8_t code, uint8_t& status, QByteArray& response) {
  return exchange(code, QByteArray(), status, response);
}

bool PipeClient::exchange(uint8_t code, const QByteArray& request, uint8_t& status) {
  QByteArray ignored;
  return exchange(code, request, status, ignored);
}

bool PipeClient::exchange(uint8_t code, const QByteArray& request, uint8_t& status, QByteArray& response) {
  std::lock_guard<std::recursive_mutex> locker(mutex);
  if (request.size() + 1 > kBufferSize) {
    emit errorOccurred(QStringLiteral("Request buffer overflow: request size %1 bytes").arg(request.size()));
    return false;
  }
  requestBuffer[0] = static_cast<char>(code);
  std::memcpy(requestBuffer.data() + 1, request.constData(), static_cast<size_t>(request.size()));
  const int requestSize = request.size() + 1;

  for (int attempt = 1;; ++attempt) {
    int received = 0;
    const int error = callNamedPipe(requestSize, received);
    if (error == 0) {
      if (static_cast<uint8_t>(responseBuffer[0]) == kStatusDeviceRemoved) {
        emit debugMessageLogged(QStringLiteral("Device removed while sending IPC"));
        return false;
      }
      status = static_cast<uint8_t>(responseBuffer[0]);
      if (received > 1) response = QByteArray(responseBuffer.data() + 1, received - 1);
      return true;
    }
    if (error == ENOENT) return false;  // the driver serves no such reader
    if (isBrokenPipe(error)) {
      emit debugMessageLogged(QStringLiteral("CallNamedPipe failed because of broken pipe (attempt %1)").arg(attempt));
      if (attempt >= kBrokenPipeAttempts) return false;
      QThread::msleep(kBrokenPipeRetryDelayMs);
      continue;
    }
    if (error == ECONNREFUSED) {
      emit debugMessageLogged(QStringLiteral("CallNamedPipe failed because of not connected pipe"));
      return false;
    }
    if (error == EAGAIN) {
      emit debugMessageLogged(QStringLiteral("CallNamedPipe failed because pipe is busy"));
      return false;
    }
    emit errorOccurred(QStringLiteral("CallNamedPipe failed with error %1").arg(error));
    return false;
  }
}

int PipeClient::callNamedPipe(int requestSize, int& received) {
  const QByteArray path = QFile::encodeName(pipeName());
  if (static_cast<size_t>(path.size()) >= sizeof(sockaddr_un::sun_path)) return ENAMETOOLONG;
  SocketGuard socket(::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0));
  if (socket.get() < 0) return errno;
  if (const int error = connectWithin(socket.get(), path)) return error;
  if (const int error = writeRequest(socket.get(), requestSize)) return error;
  return readResponse(socket.get(), received);
}

int PipeClient::connectWithin(int socketFd, const QByteArray& path) {
  sockaddr_un address{};
  address.sun_family = AF_UNIX;
  std::memcpy(address.sun_path, path.constData(), static_cast<size_t>(path.size()));
  const auto deadline = Clock::now() + std::chrono::milliseconds(kConnectTimeoutMs);
  for (;;) {
    if (::connect(socketFd, reinterpret_cast<const sockaddr*>(&address), sizeof(address)) == 0) return 0;
    const int error = errno;
    if (error == EINTR) continue;
    // A full listen backlog: the driver is busy with other clients. Wait for room as long as a call may wait.
    if (error != EAGAIN) return error;
    if (remainingMs(deadline) == 0) return EAGAIN;
    QThread::msleep(5);
  }
}

int PipeClient::writeRequest(int socketFd, int requestSize) {
  const auto deadline = Clock::now() + std::chrono::milliseconds(kResponseTimeoutMs);
  int sent = 0;
  while (sent < requestSize) {
    const ssize_t written =
        ::send(socketFd, requestBuffer.data() + sent, static_cast<size_t>(requestSize - sent), MSG_NOSIGNAL);
    if (written >= 0) {
      sent += static_cast<int>(written);
      continue;
    }
    if (errno == EINTR) continue;
    if (errno != EAGAIN) return errno;
    if (const int error = waitFor(socketFd, POLLOUT, deadline)) return error;
  }
  // The half-close marks the end of the request: one request per connection.
  if (::shutdown(socketFd, SHUT_WR) != 0) return errno;
  return 0;
}

int PipeClient::readResponse(int socketFd, int& received) {
  const auto deadline = Clock::now() + std::chrono::milliseconds(kResponseTimeoutMs);
  received = 0;
  for (;;) {
    char* end = responseBuffer.data() + received;
    // One byte beyond the buffer tells an over-long answer from one that fills it exactly.
    char overflow = 0;
    const bool full = received == kBufferSize;
    const ssize_t count =
        ::recv(socketFd, full ? &overflow : end, full ? 1 : static_cast<size_t>(kBufferSize - received), 0);
    if (count > 0) {
      if (full) return EMSGSIZE;
      received += static_cast<int>(count);
      continue;
    }
    if (count == 0) {
      // Closed before any answer: the driver gave up on the request, as when it loses the connection's thread.
      return received == 0 ? EPIPE : 0;
    }
    if (errno == EINTR) continue;
    if (errno != EAGAIN) return errno;
    if (const int error = waitFor(socketFd, POLLIN, deadline)) return error;
  }
}
