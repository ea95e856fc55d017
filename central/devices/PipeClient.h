// SPDX-License-Identifier: Apache-2.0
#pragma once
// One request/response exchange with the reader driver per call, over the driver's Unix stream socket: connect,
// write the request, half-close, read the answer up to the driver's close. Nothing is kept between calls, so a
// driver restart needs no reconnection logic. The mutex is recursive because a request made from inside a
// slot connected to this client's signals (a direct connection) would otherwise deadlock its own thread.

#include <QByteArray>
#include <QObject>
#include <QString>
#include <array>
#include <cstdint>
#include <mutex>

class PipeClient : public QObject {
  Q_OBJECT

 public:
  static constexpr int kBufferSize = 1024;
  static constexpr int kProtocolVersion = 6;
  static constexpr uint8_t kStatusDeviceRemoved = 253;
  // How long a call waits for the driver to accept the connection.
  static constexpr int kConnectTimeoutMs = 500;
  static constexpr int kBrokenPipeAttempts = 3;
  static constexpr int kBrokenPipeRetryDelayMs = 100;
  // A reader request may take several radio exchanges with their own time-outs; this only ends a driver that hangs.
  static constexpr int kResponseTimeoutMs = 30000;

  explicit PipeClient(const QString& clientName, QObject* parent = nullptr);

  bool exchange(uint8_t code, const QByteArray& request, uint8_t& status, QByteArray& response);
  bool exchange(uint8_t code, uint8_t& status, QByteArray& response);
  bool exchange(uint8_t code, const QByteArray& request, uint8_t& status);

  const QString& clientName() const { return name; }
  // Built anew for every call, so a changed runtime directory is followed at once.
  QString pipeName() const;

 signals:
  void errorOccurred(QString error);
  void debugMessageLogged(QString message);
  void verboseMessageLogged(QString message);

 private:
  // errno of the failed call, or 0 with the number of answer bytes in `received`.
  int callNamedPipe(int requestSize, int& received);
  int connectWithin(int socketFd, const QByteArray& path);
  int writeRequest(int socketFd, int requestSize);
  int readResponse(int socketFd, int& received);

  // A standard mutex rather than Qt's: the thread sanitizer sees its ordering, and Qt's futex-based one it cannot.
  std::recursive_mutex mutex;
  const QString name;
  std::array<char, kBufferSize> requestBuffer{};
  std::array<char, kBufferSize> responseBuffer{};
};
