// SPDX-License-Identifier: Apache-2.0
#include "DesktopNotifications.h"

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QElapsedTimer>
#include <sstream>

#include "NotificationDaemon.h"
#include "Window.h"

namespace {

using kelvo::test::NotificationDaemon;

bool waitFor(const std::function<bool()>& condition, int timeoutMs = 10000) {
  QElapsedTimer clock;
  clock.start();
  while (!condition() && clock.elapsed() < timeoutMs) {
    QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
  }
  return condition();
}

class DesktopNotificationsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(daemon.isReady());
    notifications.setAppName("Kelvo Central");
    notifications.setHandlerOutput(output);
    notifications.initialize();
    ASSERT_TRUE(waitFor([this] { return notifications.isInitialized(); }));
  }

  // Shows a notice and waits until the service has given it its id.
  uint show(const QString& title, const QString& text,
            DesktopNotifications::Urgency urgency = DesktopNotifications::Urgency::normal) {
    const uint before = notifications.lastNotificationId();
    EXPECT_TRUE(notifications.showNotice(title, text, urgency));
    EXPECT_TRUE(waitFor([this, before] { return notifications.lastNotificationId() != before; }));
    return notifications.lastNotificationId();
  }

  // Shows one more notice and lets it time out; signals arrive in order, so every earlier one has been handled
  // once its line is there.
  void expireAnotherNotice() {
    const size_t before = output.str().size();
    const uint id = show("another", "another");
    ASSERT_TRUE(daemon.emitSignal("NotificationClosed", "uu", {id, 1u}));
    ASSERT_TRUE(waitFor([this, before] { return output.str().size() > before; }));
  }

  NotificationDaemon daemon;
  DesktopNotifications notifications;
  std::ostringstream output;
};

TEST_F(DesktopNotificationsTest, NoticeReachesTheDaemonWithTitleTextSoundIconAndUrgency) {
  show("Battery low", "Kelvo 1234567890 has 15 % left", DesktopNotifications::Urgency::critical);
  ASSERT_TRUE(waitFor([this] { return daemon.log().contains("Notify"); }));
  const QString log = daemon.log();
  EXPECT_TRUE(log.contains("\"Kelvo Central\"")) << log.toStdString();
  EXPECT_TRUE(log.contains("\"kelvo-central\"")) << log.toStdString();
  EXPECT_TRUE(log.contains("\"urgency\": 2")) << log.toStdString();
  EXPECT_TRUE(log.contains("\"Battery low\"")) << log.toStdString();
  EXPECT_TRUE(log.contains("\"Kelvo 1234567890 has 15 % left\"")) << log.toStdString();
  EXPECT_TRUE(log.contains("message-new-instant")) << log.toStdString();
}

TEST_F(DesktopNotificationsTest, NoticeWithAnEmptyTitleStillCarriesItsText) {
  show("", "Kelvo 1234567890 is fully charged");
  ASSERT_TRUE(waitFor([this] { return daemon.log().contains("Notify"); }));
  EXPECT_TRUE(daemon.log().contains("\"Kelvo 1234567890 is fully charged\""));
}

// The mock daemon answers CloseNotification with reason "expired"; what a reason means is covered below.
TEST_F(DesktopNotificationsTest, HidingANoticeAsksTheDaemonToCloseIt) {
  const uint id = show("Battery low", "text");
  ASSERT_TRUE(notifications.hide(id));
  ASSERT_TRUE(waitFor([this] { return !output.str().empty(); }));
  EXPECT_TRUE(daemon.log().contains(QString("CloseNotification %1").arg(id))) << daemon.log().toStdString();
  EXPECT_EQ(output.str(), "The toast has timed out\n");
}

struct ClosedCase {
  uint reason;
  const char* line;
};

class NotificationClosedTest : public DesktopNotificationsTest, public ::testing::WithParamInterface<ClosedCase> {};

TEST_P(NotificationClosedTest, HandlerSaysHowTheNoticeEnded) {
  const uint id = show("Battery low", "text");
  ASSERT_TRUE(daemon.emitSignal("NotificationClosed", "uu", {id, GetParam().reason}));
  ASSERT_TRUE(waitFor([this] { return !output.str().empty(); }));
  EXPECT_EQ(output.str(), std::string(GetParam().line) + "\n");

  // The notice has ended; a repeated signal for it says nothing more.
  output.str("");
  ASSERT_TRUE(daemon.emitSignal("NotificationClosed", "uu", {id, 2u}));
  expireAnotherNotice();
  EXPECT_EQ(output.str(), "The toast has timed out\n");
}

INSTANTIATE_TEST_SUITE_P(Reasons, NotificationClosedTest,
                         ::testing::Values(ClosedCase{1, "The toast has timed out"},
                                           ClosedCase{2, "The user dismissed this toast"},
                                           ClosedCase{3, "The application hid the toast using ToastNotifier.hide()"},
                                           ClosedCase{4, "Toast not activated"}),
                         [](const ::testing::TestParamInfo<ClosedCase>& info) {
                           return "reason" + std::to_string(info.param.reason);
                         });

TEST_F(DesktopNotificationsTest, ClickOnTheNoticeIsReported) {
  show("Battery low", "text");
  ASSERT_TRUE(daemon.emitSignal("ActionInvoked", "us", {notifications.lastNotificationId(), QString("default")}));
  ASSERT_TRUE(waitFor([this] { return !output.str().empty(); }));
  EXPECT_EQ(output.str(), "The user clicked in this toast\n");

  // Services close a clicked notice right after the click; that is not a second outcome. A later notice that
  // times out shows that the signal for the first has been handled.
  ASSERT_TRUE(daemon.emitSignal("NotificationClosed", "uu", {notifications.lastNotificationId(), 2u}));
  expireAnotherNotice();
  EXPECT_EQ(output.str(), "The user clicked in this toast\nThe toast has timed out\n");
}

TEST_F(DesktopNotificationsTest, SignalsForOtherApplicationsNoticesAreIgnored) {
  show("Battery low", "text");
  ASSERT_TRUE(daemon.emitSignal("NotificationClosed", "uu", {notifications.lastNotificationId() + 100, 1u}));
  ASSERT_TRUE(daemon.emitSignal("NotificationClosed", "uu", {notifications.lastNotificationId(), 1u}));
  ASSERT_TRUE(waitFor([this] { return !output.str().empty(); }));
  EXPECT_EQ(output.str(), "The toast has timed out\n");
}

TEST(DesktopNotificationsFailureTest, RefusedNoticeFailsWithTheHandlersErrorLine) {
  NotificationDaemon daemon(NotificationDaemon::Kind::refusingNotices);
  ASSERT_TRUE(daemon.isReady());
  DesktopNotifications notifications;
  std::ostringstream output;
  notifications.setHandlerOutput(output);
  notifications.initialize();
  ASSERT_TRUE(waitFor([&notifications] { return notifications.isInitialized(); }));
  // Handed over; the service's refusal arrives later and the handler reports it.
  EXPECT_TRUE(notifications.showNotice("Battery low", "text"));
  ASSERT_TRUE(waitFor([&output] { return !output.str().empty(); }));
  EXPECT_EQ(output.str(), "Error showing current toast\n");
}

TEST(DesktopNotificationsFailureTest, WithoutAServiceEveryNoticeFailsQuietly) {
  DesktopNotifications notifications;
  notifications.initialize();
  ASSERT_TRUE(waitFor(
      [&notifications] { return notifications.serviceAvailability() != DesktopNotifications::Availability::unknown; }));
  EXPECT_FALSE(notifications.isInitialized());
  EXPECT_FALSE(notifications.showNotice("Battery low", "text"));
}

QStringList capturedMessages;
void captureMessage(QtMsgType, const QMessageLogContext&, const QString& message) { capturedMessages << message; }

TEST(DesktopNotificationsFailureTest, WindowLogsTheIncompatibleSystemAndGoesOn) {
  capturedMessages.clear();
  qInstallMessageHandler(captureMessage);
  {
    Window window(false);
    window.show();
    // The answer (none) comes as an event; the window goes on meanwhile.
    waitFor([] { return capturedMessages.contains("Error, your system in not compatible!"); });
  }
  qInstallMessageHandler(nullptr);
  EXPECT_TRUE(capturedMessages.contains("Error, your system in not compatible!"))
      << capturedMessages.join('|').toStdString();
}

TEST(DesktopNotificationsFailureTest, WindowSetsUpNoticesWhenAServiceRuns) {
  NotificationDaemon daemon;
  ASSERT_TRUE(daemon.isReady());
  capturedMessages.clear();
  qInstallMessageHandler(captureMessage);
  Window window(false);
  EXPECT_TRUE(waitFor([] { return DesktopNotifications::instance().isInitialized(); }));
  qInstallMessageHandler(nullptr);
  EXPECT_FALSE(capturedMessages.contains("Error, your system in not compatible!"));
  EXPECT_TRUE(DesktopNotifications::instance().showNotice("Battery full", "Kelvo 1234567890"));
}

}  // namespace
