// SPDX-License-Identifier: Apache-2.0
#include "security/WorkstationLocker.h"

#include <unistd.h>

#include <QDBusArgument>
#include <QDBusConnection>
#include <QDBusInterface>
#include <QDBusReply>
#include <QDBusVariant>
#include <QtGlobal>
#include <chrono>
#include <mutex>

namespace {

const char kService[] = "org.freedesktop.login1";
const char kManagerPath[] = "/org/freedesktop/login1";
const char kManagerInterface[] = "org.freedesktop.login1.Manager";
const char kUserInterface[] = "org.freedesktop.login1.User";
const char kPropertiesInterface[] = "org.freedesktop.DBus.Properties";

using Clock = std::chrono::steady_clock;

// Held for a whole request: the device and the lock task see one removal at the same moment, and the second must
// find the first's lock, not ask logind while the first is still asking.
std::mutex requestLock;
std::mutex guardLock;
bool lockedOnce = false;
Clock::time_point lastLock;

QString describe(const QDBusError& error) { return error.name() + QStringLiteral(": ") + error.message(); }

}  // namespace

WorkstationLocker::Result WorkstationLocker::lock(QString& failure) {
  std::lock_guard<std::mutex> request(requestLock);
  if (lockedRecently()) return Result::kNotRepeated;
  const QString session = sessionId(failure);
  if (session.isEmpty()) return Result::kFailed;
  QDBusInterface manager(QLatin1String(kService), QLatin1String(kManagerPath), QLatin1String(kManagerInterface),
                         QDBusConnection::systemBus());
  manager.setTimeout(kCallTimeoutMs);
  const QDBusReply<void> reply = manager.call(QStringLiteral("LockSession"), session);
  if (!reply.isValid()) {
    failure = describe(reply.error());
    return Result::kFailed;
  }
  noteLock();
  return Result::kLocked;
}

void WorkstationLocker::forgetLastLock() {
  std::lock_guard<std::mutex> guard(guardLock);
  lockedOnce = false;
}

bool WorkstationLocker::lockedRecently() {
  std::lock_guard<std::mutex> guard(guardLock);
  return lockedOnce && Clock::now() - lastLock < std::chrono::milliseconds(kRepeatWindowMs);
}

void WorkstationLocker::noteLock() {
  std::lock_guard<std::mutex> guard(guardLock);
  lockedOnce = true;
  lastLock = Clock::now();
}

QString WorkstationLocker::sessionId(QString& failure) {
  const QString own = qEnvironmentVariable("XDG_SESSION_ID");
  return own.isEmpty() ? displaySessionOfUser(failure) : own;
}

// logind's User.Display: the session that owns the user's graphical display, as (id, object path).
QString WorkstationLocker::displaySessionOfUser(QString& failure) {
  QDBusInterface manager(QLatin1String(kService), QLatin1String(kManagerPath), QLatin1String(kManagerInterface),
                         QDBusConnection::systemBus());
  manager.setTimeout(kCallTimeoutMs);
  const QDBusReply<QDBusObjectPath> user = manager.call(QStringLiteral("GetUser"), static_cast<uint>(::getuid()));
  if (!user.isValid()) {
    failure = describe(user.error());
    return QString();
  }
  QDBusInterface properties(QLatin1String(kService), user.value().path(), QLatin1String(kPropertiesInterface),
                            QDBusConnection::systemBus());
  properties.setTimeout(kCallTimeoutMs);
  const QDBusReply<QDBusVariant> display =
      properties.call(QStringLiteral("Get"), QLatin1String(kUserInterface), QStringLiteral("Display"));
  if (!display.isValid()) {
    failure = describe(display.error());
    return QString();
  }
  QString id;
  QDBusObjectPath path;
  const auto argument = display.value().variant().value<QDBusArgument>();
  argument.beginStructure();
  argument >> id >> path;
  argument.endStructure();
  if (id.isEmpty()) failure = QStringLiteral("the user has no graphical session");
  return id;
}
