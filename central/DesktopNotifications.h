// SPDX-License-Identifier: Apache-2.0
#pragma once
// Desktop notices through the session's org.freedesktop.Notifications service. One process-wide instance is set
// up by the main window; devices show battery notices through it. Each shown notice gets a CustomHandler that
// lives until the service reports the notice closed.

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
  static constexpr int kCallTimeoutMs = 2000;

  static DesktopNotifications& instance();

  explicit DesktopNotifications(const QDBusConnection& connection = QDBusConnection::sessionBus(),
                                QObject* parent = nullptr);
  ~DesktopNotifications() override;

  void setAppName(const QString& name) { appName = name; }
  // False when no notification service answers; every later notice then fails.
  bool initialize();
  bool isInitialized() const { return initialized; }

  // False when the notice could not be handed to the service.
  bool showNotice(const QString& title, const QString& text);
  // Ends a notice this process showed; the service then reports it closed by the application.
  bool hide(uint notificationId);

  uint lastNotificationId() const { return lastId; }
  // Where the handlers write their lines; standard output unless a test redirects it.
  void setHandlerOutput(std::ostream& output) { handlerOutput = &output; }

 private slots:
  void onActionInvoked(uint id, const QString& actionKey);
  void onNotificationClosed(uint id, uint reason);

 private:
  static int dismissalReason(uint closedReason);

  QDBusConnection connection;
  QString appName;
  bool initialized = false;
  uint lastId = 0;
  std::ostream* handlerOutput;
  std::map<uint, std::unique_ptr<CustomHandler>> handlers;
};
