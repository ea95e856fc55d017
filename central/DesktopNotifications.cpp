// SPDX-License-Identifier: Apache-2.0
#include "DesktopNotifications.h"

#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <QStringList>
#include <QVariantMap>
#include <iostream>

const QString DesktopNotifications::kService = QStringLiteral("org.freedesktop.Notifications");
const QString DesktopNotifications::kPath = QStringLiteral("/org/freedesktop/Notifications");
const QString DesktopNotifications::kInterface = QStringLiteral("org.freedesktop.Notifications");
// The freedesktop sound theme's name for an instant-message alert.
const QString DesktopNotifications::kSoundName = QStringLiteral("message-new-instant");
// The program's icon in the icon theme (installed in hicolor).
const QString DesktopNotifications::kIconName = QStringLiteral("kelvo-central");

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

void DesktopNotifications::initialize() {
  if (availability != Availability::unknown) return;
  if (!connection.isConnected()) {
    availability = Availability::unavailable;
    emit availabilityKnown(false);
    return;
  }
  connection.connect(kService, kPath, kInterface, QStringLiteral("ActionInvoked"), this,
                     SLOT(onActionInvoked(uint, QString)));
  connection.connect(kService, kPath, kInterface, QStringLiteral("NotificationClosed"), this,
                     SLOT(onNotificationClosed(uint, uint)));
  // GetServerInformation also starts a service that is only activatable.
  const QDBusMessage request =
      QDBusMessage::createMethodCall(kService, kPath, kInterface, QStringLiteral("GetServerInformation"));
  auto* watcher = new QDBusPendingCallWatcher(connection.asyncCall(request, kCallTimeoutMs), this);
  connect(watcher, &QDBusPendingCallWatcher::finished, this, [this](QDBusPendingCallWatcher* answered) {
    answered->deleteLater();
    const bool available = !answered->isError();
    availability = available ? Availability::available : Availability::unavailable;
    emit availabilityKnown(available);
  });
}

bool DesktopNotifications::showNotice(const QString& title, const QString& text, Urgency urgency) {
  if (!isInitialized()) return false;
  QVariantMap hints;
  hints.insert(QStringLiteral("sound-name"), kSoundName);
  hints.insert(QStringLiteral("desktop-entry"), QStringLiteral("kelvo-central"));
  hints.insert(QStringLiteral("urgency"), QVariant::fromValue(static_cast<uchar>(urgency)));
  QDBusMessage request = QDBusMessage::createMethodCall(kService, kPath, kInterface, QStringLiteral("Notify"));
  request << appName << uint(0) << kIconName << title << text << QStringList() << hints << kServerDefaultExpiry;
  auto* watcher = new QDBusPendingCallWatcher(connection.asyncCall(request, kCallTimeoutMs), this);
  // The handler waits with the call; the reply comes before any signal about its notice (the bus keeps order).
  std::shared_ptr<CustomHandler> handler = std::make_shared<CustomHandler>(*handlerOutput);
  connect(watcher, &QDBusPendingCallWatcher::finished, this, [this, handler](QDBusPendingCallWatcher* answered) {
    answered->deleteLater();
    const QDBusPendingReply<uint> reply = *answered;
    if (reply.isError()) {
      handler->toastFailed();
      return;
    }
    lastId = reply.value();
    handlers[lastId] = handler;
    emit noticeShown(lastId);
  });
  return true;
}

bool DesktopNotifications::hide(uint notificationId) {
  if (!isInitialized()) return false;
  QDBusMessage request =
      QDBusMessage::createMethodCall(kService, kPath, kInterface, QStringLiteral("CloseNotification"));
  request << notificationId;
  return connection.send(request);
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
