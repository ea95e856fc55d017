// SPDX-License-Identifier: Apache-2.0
#pragma once
// How a second start reaches the running Kelvo Central: the instance that holds the single-instance lock listens
// on a local socket beside the lock file (mode 0600, this user's only), and a later start that finds the lock held
// connects, says "raise" and exits. The running instance then shows its window on top. The client side is plain
// POSIX so that it runs before any Qt object exists.

#include <QObject>
#include <QString>
#include <memory>

class QLocalServer;

class RaiseChannel : public QObject {
  Q_OBJECT

 public:
  static constexpr const char* kRequest = "raise\n";

  explicit RaiseChannel(QString socketPath, QObject* parent = nullptr);
  ~RaiseChannel() override;

  // Listens; a socket left by an earlier run is replaced (the caller holds the single-instance lock, so no other
  // instance can be listening). False with the reason logged when the socket cannot be made.
  bool listen();

  // Asks the instance listening at `socketPath` to raise its window; false when none answers within a second.
  static bool requestRaise(const std::string& socketPath);
  // The socket beside the lock file.
  static std::string socketPathFor(const std::string& lockFilePath);

 signals:
  void raiseRequested();

 private:
  void readRequest();

  QString path;
  std::unique_ptr<QLocalServer> server;
};
