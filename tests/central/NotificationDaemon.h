#pragma once
// A mock org.freedesktop.Notifications service (python3-dbusmock) on the test's private session bus. The standard
// one records every call in a log file; the failing one answers GetServerInformation but refuses every notice.

#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDBusVariant>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QThread>

namespace kelvo::test {

class NotificationDaemon {
 public:
  enum class Kind { working, refusingNotices };

  explicit NotificationDaemon(Kind kind = Kind::working) {
    QStringList arguments{"-m", "dbusmock"};
    if (kind == Kind::working) {
      arguments << "--template" << "notification_daemon" << "-l" << logPath();
    } else {
      arguments << "org.freedesktop.Notifications" << "/org/freedesktop/Notifications"
                << "org.freedesktop.Notifications";
    }
    process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    process.start("/usr/bin/python3", arguments);
    ready = waitForService();
    if (ready && kind == Kind::refusingNotices) {
      addMethod("GetServerInformation", "", "ssss", "ret = ('mock', 'test', '1', '1.2')");
      addMethod("Notify", "susssasa{sv}i", "u",
                "raise dbus.exceptions.DBusException('no screen', name='org.freedesktop.Notifications.Error')");
    }
  }

  ~NotificationDaemon() {
    process.terminate();
    if (!process.waitForFinished(5000)) process.kill();
    process.waitForFinished(2000);
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
  QProcess process;
  bool ready = false;
};

}  // namespace kelvo::test
