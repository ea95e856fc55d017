// SPDX-License-Identifier: Apache-2.0
#pragma once
// Desktop notices through the session's org.freedesktop.Notifications service. One process-wide instance is set
// up by the main window; devices show battery notices through it. Each shown notice gets a CustomHandler that
// lives until the service reports the notice closed. Every call to the service is asynchronous: a service that is
// slow or hangs never holds up the GUI thread; its answers arrive as events.

#include <QDBusConnection>
#include <QObject>
#include <QString>
#include <map>
#include <memory>
#include <ostream>

#include "CustomHandler.h"

class DesktopNotifications : public QObject {
  Q_OBJECT

 public:
  static const QString kService;
  static const QString kPath;
  static const QString kInterface;
  static const QString kSoundName;
  static const QString kIconName;
  static constexpr int kCallTimeoutMs = 2000;

  // The notice's urgency hint (low battery is critical, a full one normal).
  enum class Urgency : uchar { low = 0, normal = 1, critical = 2 };
  enum class Availability { unknown, available, unavailable };

  static DesktopNotifications& instance();

  explicit DesktopNotifications(const QDBusConnection& connection = QDBusConnection::sessionBus(),
                                QObject* parent = nullptr);
  ~DesktopNotifications() override;

  void setAppName(const QString& name) { appName = name; }
  // Asks whether a notification service answers; `availabilityKnown` tells when it is known. Until then, and
  // after a service did not answer, every notice fails.
  void initialize();
  bool isInitialized() const { return availability == Availability::available; }
  Availability serviceAvailability() const { return availability; }

  // False when there is no service to hand the notice to; a service that refuses it later makes the handler
  // report the failure. `noticeShown` tells the notice's id once the service has it.
  bool showNotice(const QString& title, const QString& text, Urgency urgency = Urgency::normal);
  // Ends a notice this process showed; the service then reports it closed by the application.
  bool hide(uint notificationId);

  uint lastNotificationId() const { return lastId; }
  // Where the handlers write their lines; standard output unless a test redirects it.
  void setHandlerOutput(std::ostream& output) { handlerOutput = &output; }

 signals:
  void availabilityKnown(bool available);
  void noticeShown(uint notificationId);

 private slots:
  void onActionInvoked(uint id, const QString& actionKey);
  void onNotificationClosed(uint id, uint reason);

 private:
  static int dismissalReason(uint closedReason);

  QDBusConnection connection;
  QString appName;
  Availability availability = Availability::unknown;
  uint lastId = 0;
  std::ostream* handlerOutput;
  std::map<uint, std::shared_ptr<CustomHandler>> handlers;
};
