// SPDX-License-Identifier: Apache-2.0
#pragma once
// A mock org.freedesktop.Notifications service (python3-dbusmock) on the test's private session bus. The standard
// one records every call in a log file; the failing one answers GetServerInformation but refuses every notice.

#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDBusVariant>
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>
#include <QThread>

#include <string>
#include <vector>

extern char** environ;

namespace kelvo::test {

class NotificationDaemon {
 public:
  enum class Kind { working, refusingNotices };

  explicit NotificationDaemon(Kind kind = Kind::working) {
    std::vector<std::string> arguments{"/usr/bin/python3", "-m", "dbusmock"};
    if (kind == Kind::working) {
      arguments.insert(arguments.end(), {"--template", "notification_daemon", "-l", logPath().toStdString()});
    } else {
      arguments.insert(arguments.end(), {"org.freedesktop.Notifications", "/org/freedesktop/Notifications",
                                         "org.freedesktop.Notifications"});
    }
    // posix_spawn rather than QProcess: QProcess hands its arguments to a thread inside Qt, which the thread
    // sanitizer cannot follow.
    std::vector<char*> argv;
    for (std::string& argument : arguments) argv.push_back(argument.data());
    argv.push_back(nullptr);
    if (posix_spawn(&pid, argv[0], nullptr, nullptr, argv.data(), environ) != 0) pid = -1;
    ready = pid > 0 && waitForService();
    if (ready && kind == Kind::refusingNotices) {
      addMethod("GetServerInformation", "", "ssss", "ret = ('mock', 'test', '1', '1.2')");
      addMethod("Notify", "susssasa{sv}i", "u",
                "raise dbus.exceptions.DBusException('no screen', name='org.freedesktop.Notifications.Error')");
    }
  }

  ~NotificationDaemon() {
    if (pid <= 0) return;
    ::kill(pid, SIGTERM);
    int status = 0;
    ::waitpid(pid, &status, 0);
  }

  bool isReady() const { return ready; }

  QString log() const {
    QFile file(logPath());
    return file.open(QIODevice::ReadOnly) ? QString::fromUtf8(file.readAll()) : QString();
  }

  // Makes the service send one of its signals, as a real daemon does when the user acts on a notice.
  bool emitSignal(const QString& name, const QString& signature, const QVariantList& arguments) {
    QVariantList wrapped;
    for (const QVariant& argument : arguments) wrapped << QVariant::fromValue(QDBusVariant(argument));
    QDBusMessage call = mockCall("EmitSignal");
    call << QString("org.freedesktop.Notifications") << name << signature << QVariant::fromValue(wrapped);
    return QDBusConnection::sessionBus().call(call).type() == QDBusMessage::ReplyMessage;
  }

 private:
  QString logPath() const { return directory.filePath("daemon.log"); }

  bool waitForService() {
    QElapsedTimer clock;
    clock.start();
    while (clock.elapsed() < 15000) {
      if (QDBusConnection::sessionBus().interface()->isServiceRegistered("org.freedesktop.Notifications")) return true;
      QThread::msleep(20);
    }
    return false;
  }

  static QDBusMessage mockCall(const QString& method) {
    return QDBusMessage::createMethodCall("org.freedesktop.Notifications", "/org/freedesktop/Notifications",
                                          "org.freedesktop.DBus.Mock", method);
  }

  void addMethod(const QString& name, const QString& in, const QString& out, const QString& code) {
    QDBusMessage call = mockCall("AddMethod");
    call << QString("org.freedesktop.Notifications") << name << in << out << code;
    QDBusConnection::sessionBus().call(call);
  }

  QTemporaryDir directory;
  pid_t pid = -1;
  bool ready = false;
};

}  // namespace kelvo::test
