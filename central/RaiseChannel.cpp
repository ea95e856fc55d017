// SPDX-License-Identifier: Apache-2.0
#include "RaiseChannel.h"

#include <poll.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <QLocalServer>
#include <QLocalSocket>
#include <QLoggingCategory>
#include <cerrno>
#include <cstring>

namespace {
Q_LOGGING_CATEGORY(raiseLog, "kelvo.instance")
constexpr int kAnswerWaitMs = 1000;
}  // namespace

RaiseChannel::RaiseChannel(QString socketPath, QObject* parent) : QObject(parent), path(std::move(socketPath)) {}

RaiseChannel::~RaiseChannel() {
  if (server) server->close();
}

bool RaiseChannel::listen() {
  server = std::make_unique<QLocalServer>();
  server->setSocketOptions(QLocalServer::UserAccessOption);
  QLocalServer::removeServer(path);
  if (!server->listen(path)) {
    qCWarning(raiseLog, "A second start cannot raise this window: %s: %s", qPrintable(path),
              qPrintable(server->errorString()));
    server.reset();
    return false;
  }
  connect(server.get(), &QLocalServer::newConnection, this, &RaiseChannel::readRequest);
  return true;
}

void RaiseChannel::readRequest() {
  while (QLocalSocket* client = server->nextPendingConnection()) {
    connect(client, &QLocalSocket::disconnected, client, &QObject::deleteLater);
    connect(client, &QLocalSocket::readyRead, this, [this, client] {
      // Only the one request; anything else a client writes is dropped with it.
      if (client->canReadLine() || client->bytesAvailable() >= 16) {
        const QByteArray line = client->readLine(16);
        if (line == kRequest) {
          qCInfo(raiseLog, "A second start asked for the window");
          emit raiseRequested();
        }
        client->write("ok\n");
        client->disconnectFromServer();
      }
    });
  }
}

std::string RaiseChannel::socketPathFor(const std::string& lockFilePath) {
  const std::string suffix = ".lock";
  const bool hasSuffix = lockFilePath.size() > suffix.size() &&
                         lockFilePath.compare(lockFilePath.size() - suffix.size(), suffix.size(), suffix) == 0;
  return (hasSuffix ? lockFilePath.substr(0, lockFilePath.size() - suffix.size()) : lockFilePath) + ".raise";
}

bool RaiseChannel::requestRaise(const std::string& socketPath) {
  sockaddr_un address{};
  if (socketPath.size() >= sizeof(address.sun_path)) return false;
  address.sun_family = AF_UNIX;
  std::memcpy(address.sun_path, socketPath.c_str(), socketPath.size());
  const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (fd < 0) return false;
  bool answered = false;
  const size_t length = std::strlen(kRequest);
  if (::connect(fd, reinterpret_cast<const sockaddr*>(&address), sizeof(address)) == 0 &&
      ::send(fd, kRequest, length, MSG_NOSIGNAL) == static_cast<ssize_t>(length)) {
    pollfd wait{fd, POLLIN, 0};
    char answer[4] = {};
    answered = ::poll(&wait, 1, kAnswerWaitMs) == 1 && ::recv(fd, answer, sizeof answer, 0) > 0;
  }
  ::close(fd);
  return answered;
}
