// SPDX-License-Identifier: Apache-2.0
#include "DesktopNotifications.h"

#include <QDBusMessage>
#include <QDBusReply>
#include <QStringList>
#include <QVariantMap>
#include <iostream>

const QString DesktopNotifications::kService = QStringLiteral("org.freedesktop.Notifications");
const QString DesktopNotifications::kPath = QStringLiteral("/org/freedesktop/Notifications");
const QString DesktopNotifications::kInterface = QStringLiteral("org.freedesktop.Notifications");
// The freedesktop sound theme's name for an instant-message alert.
const QString DesktopNotifications::kSoundName = QStringLiteral("message-new-instant");

namespace {
// Reasons of the NotificationClosed signal.
constexpr uint kClosedExpired = 1;
constexpr uint kClosedDismissed = 2;
constexpr uint kClosedByCall = 3;
constexpr int kServerDefaultExpiry = -1;
}  // namespace

DesktopNotifications& DesktopNotifications::instance() {
  // Lives for the process; never destroyed, so no notice outlives its handler.
  static DesktopNotifications* notifications = new DesktopNotifications();
  return *notifications;
}

DesktopNotifications::DesktopNotifications(const QDBusConnection& connection, QObject* parent)
    : QObject(parent), connection(connection), handlerOutput(&std::cout) {}

DesktopNotifications::~DesktopNotifications() = default;

bool DesktopNotifications::initialize() {
  if (initialized) return true;
  if (!connection.isConnected()) return false;
  // GetServerInformation also starts a service that is only activatable.
  const QDBusMessage request =
      QDBusMessage::createMethodCall(kService, kPath, kInterface, QStringLiteral("GetServerInformation"));
  const QDBusMessage reply = connection.call(request, QDBus::Block, kCallTimeoutMs);
  if (reply.type() != QDBusMessage::ReplyMessage) return false;
  connection.connect(kService, kPath, kInterface, QStringLiteral("ActionInvoked"), this,
                     SLOT(onActionInvoked(uint, QString)));
  connection.connect(kService, kPath, kInterface, QStringLiteral("NotificationClosed"), this,
                     SLOT(onNotificationClosed(uint, uint)));
  initialized = true;
  return true;
}

bool DesktopNotifications::showNotice(const QString& title, const QString& text) {
  if (!initialized) return false;
  QVariantMap hints;
  hints.insert(QStringLiteral("sound-name"), kSoundName);
  hints.insert(QStringLiteral("desktop-entry"), QStringLiteral("kelvo-central"));
  QDBusMessage request = QDBusMessage::createMethodCall(kService, kPath, kInterface, QStringLiteral("Notify"));
  request << appName << uint(0) << QString() << title << text << QStringList() << hints << kServerDefaultExpiry;
  auto handler = std::make_unique<CustomHandler>(*handlerOutput);
  const QDBusReply<uint> reply = connection.call(request, QDBus::Block, kCallTimeoutMs);
  if (!reply.isValid()) {
    handler->toastFailed();
    return false;
  }
  lastId = reply.value();
  handlers[lastId] = std::move(handler);
  return true;
}

bool DesktopNotifications::hide(uint notificationId) {
  if (!initialized) return false;
  QDBusMessage request =
      QDBusMessage::createMethodCall(kService, kPath, kInterface, QStringLiteral("CloseNotification"));
  request << notificationId;
  return connection.call(request, QDBus::Block, kCallTimeoutMs).type() == QDBusMessage::ReplyMessage;
}

void DesktopNotifications::onActionInvoked(uint id, const QString& actionKey) {
  const auto found = handlers.find(id);
  if (found == handlers.end()) return;
  // Notices carry no buttons, so any action is the click on the notice itself. The click ends the notice; the
  // service's NotificationClosed that follows it says nothing more.
  Q_UNUSED(actionKey);
  found->second->toastActivated();
  handlers.erase(found);
}

void DesktopNotifications::onNotificationClosed(uint id, uint reason) {
  const auto found = handlers.find(id);
  if (found == handlers.end()) return;
  found->second->toastDismissed(dismissalReason(reason));
  handlers.erase(found);
}

int DesktopNotifications::dismissalReason(uint closedReason) {
  switch (closedReason) {
    case kClosedExpired:
      return CustomHandler::TimedOut;
    case kClosedDismissed:
      return CustomHandler::UserCanceled;
    case kClosedByCall:
      return CustomHandler::ApplicationHidden;
    default:
      return -1;
  }
}
