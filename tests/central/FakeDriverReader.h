// SPDX-License-Identifier: Apache-2.0
#pragma once
// One reader as the reader driver serves it: a socket named after the reader's address in the runtime directory,
// answering the device requests by their code from the reader's current values. Tests change the values (card,
// battery, connection) and the descriptor's answer while the application polls.

#include <poll.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <QByteArray>
#include <QList>
#include <QString>
#include <cstring>
#include <mutex>
#include <string>
#include <thread>

class FakeDriverReader {
 public:
  FakeDriverReader(const QString& runtimeDirectory, const QString& address, const QByteArray& descriptor)
      : path((runtimeDirectory + QStringLiteral("/omnivex#ipc#ver6#kelvo_") + address).toStdString()),
        descriptorAnswer(QByteArray(1, '\0') + descriptor) {
    sockaddr_un socketAddress{};
    socketAddress.sun_family = AF_UNIX;
    std::strncpy(socketAddress.sun_path, path.c_str(), sizeof(socketAddress.sun_path) - 1);
    listenFd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    listening = ::bind(listenFd, reinterpret_cast<const sockaddr*>(&socketAddress), sizeof(socketAddress)) == 0 &&
                ::listen(listenFd, 16) == 0;
    if (::pipe(stopPipe) == 0 && listening) server = std::thread(&FakeDriverReader::run, this);
  }

  ~FakeDriverReader() {
    if (stopPipe[1] >= 0) [[maybe_unused]]
      ssize_t ignored = ::write(stopPipe[1], "x", 1);
    if (server.joinable()) server.join();
    ::close(listenFd);
    ::close(stopPipe[0]);
    ::close(stopPipe[1]);
    ::unlink(path.c_str());
  }

  bool isListening() const { return listening; }

  // A descriptor answer with another status (9: the keys must be reset).
  void answerDescriptorWithStatus(uint8_t status) {
    std::lock_guard<std::mutex> guard(lock);
    descriptorAnswer = QByteArray(1, static_cast<char>(status));
  }
  void setCard(int status) { setByte(1, status); }
  void setBattery(int level) { setByte(2, level); }
  void setConnected(bool connected) { setByte(0, connected ? 1 : 0); }

  // Every request as it arrived: the code followed by the payload.
  QList<QByteArray> requests() {
    std::lock_guard<std::mutex> guard(lock);
    return received;
  }
  int count(char code) {
    int found = 0;
    for (const QByteArray& request : requests()) found += !request.isEmpty() && request[0] == code ? 1 : 0;
    return found;
  }

  static QByteArray initialState() {
    QByteArray state(44, '\0');
    state[0] = 1;                                                         // connected
    state[1] = 1;                                                         // no card
    state[2] = 80;                                                        // battery
    for (int offset = 16; offset < 44; ++offset) state[offset] = '\xFF';  // no working-time ranges
    return state;
  }

 private:
  void setByte(int offset, int value) {
    std::lock_guard<std::mutex> guard(lock);
    state[offset] = static_cast<char>(value);
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
    QByteArray request;
    char chunk[2048];
    for (;;) {
      const ssize_t count = ::recv(client, chunk, sizeof(chunk), 0);
      if (count <= 0) break;
      request.append(chunk, static_cast<int>(count));
    }
    const QByteArray answer = answerTo(request);
    ::send(client, answer.constData(), static_cast<size_t>(answer.size()), MSG_NOSIGNAL);
  }

  QByteArray answerTo(const QByteArray& request) {
    std::lock_guard<std::mutex> guard(lock);
    received.append(request);
    if (request.isEmpty()) return QByteArray(1, '\x05');
    switch (request[0]) {
      case 1:
        return descriptorAnswer;
      case 2:
        return QByteArray(1, '\0') + state;
      case 3:
        if (request.size() == 3 && request[1] >= 1 && request[1] <= 7) state[7 + request[1]] = request[2];
        return QByteArray(1, '\0');
      case 16:
        return QByteArray(1, '\0') + QByteArray("1.0.0-test");
      default:
        return QByteArray(1, '\0');
    }
  }

  const std::string path;
  int listenFd = -1;
  int stopPipe[2] = {-1, -1};
  bool listening = false;
  std::thread server;
  std::mutex lock;
  QByteArray descriptorAnswer;
  QByteArray state = initialState();
  QList<QByteArray> received;
};
