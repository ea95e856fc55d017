// SPDX-License-Identifier: Apache-2.0
// The window's device pages: one page per initialised reader, which page shows, the device list pop-up, the
// actions that depend on the current reader, and the test device of the command line.
#include <gtest/gtest.h>

#include <QAction>
#include <QFile>
#include <QListWidget>
#include <QPointer>
#include <QPushButton>
#include <QSignalSpy>
#include <QStackedWidget>
#include <QTemporaryDir>
#include <QTest>

#include "SettingsFixture.h"
#include "Window.h"
#include "devices/KelvoDevice.h"
#include "devices/KelvoDeviceManager.h"
#include "views/DevicesPage.h"
#include "views/KelvoDeviceView.h"

namespace {

// A reader that has a transport (the PIN actions need one) and never talks to anything.
class ReaderWithTransport : public KelvoDevice {
 public:
  explicit ReaderWithTransport(const QString& serial)
      : KelvoDevice({{QStringLiteral("Serial"), serial}, {QStringLiteral("MAC"), QStringLiteral("001A7DDA7113")}}) {}
  bool hasTransport() const override { return true; }
};

class WindowDevicesTest : public ::testing::Test {
 protected:
  void SetUp() override {
    window.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
  }

  QStackedWidget* stack() { return window.findChild<QStackedWidget*>("kelvoStack"); }
  KelvoDevice* currentDevice() {
    auto* page = qobject_cast<KelvoDeviceView*>(stack()->currentWidget());
    return page != nullptr ? page->device() : nullptr;
  }
  QAction* action(const char* name) { return window.findChild<QAction*>(name); }
  QList<QWidget*> frames() {
    return window.findChild<QWidget*>("popupShade")->findChildren<QWidget*>("popupFrame", Qt::FindDirectChildrenOnly);
  }
  void call(const char* slot, KelvoDevice* device) {
    ASSERT_TRUE(QMetaObject::invokeMethod(&window, slot, Qt::DirectConnection, Q_ARG(KelvoDevice*, device)));
  }
  void select(const QString& name) {
    ASSERT_TRUE(QMetaObject::invokeMethod(&window, "deviceSelected", Qt::DirectConnection, Q_ARG(QString, name)));
  }
  void openDeviceList() { QTest::mouseClick(window.findChild<QPushButton*>("changeDeviceButton"), Qt::LeftButton); }
  static void deleteDeferred() { QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete); }

  Window window{false};
};

TEST_F(WindowDevicesTest, TestDeviceGetsAPageThatShowsAndOffersNoPinActions) {
  EXPECT_EQ(stack()->count(), 1);
  window.addTestDevice("5123456789");
  ASSERT_EQ(stack()->count(), 2);
  ASSERT_NE(currentDevice(), nullptr);
  EXPECT_EQ(currentDevice()->displayName(), "Kelvo 5123456789");
  EXPECT_EQ(currentDevice()->address(), "AABBCCDDEEFF");
  EXPECT_EQ(currentDevice()->descriptor().size(), 2);
  EXPECT_EQ(currentDevice()->cardStatus(), 1);
  EXPECT_FALSE(currentDevice()->hasTransport());
  EXPECT_FALSE(action("changePinAction")->isEnabled());
  EXPECT_FALSE(action("unblockPinAction")->isEnabled());
}

TEST_F(WindowDevicesTest, PinActionsFollowTheCurrentPagesTransport) {
  auto* reader = new ReaderWithTransport("K2000000042");
  call("deviceInitialized", reader);
  EXPECT_EQ(currentDevice(), reader);
  EXPECT_TRUE(action("changePinAction")->isEnabled());
  EXPECT_TRUE(action("unblockPinAction")->isEnabled());
  stack()->setCurrentIndex(0);
  EXPECT_FALSE(action("changePinAction")->isEnabled());
  call("deviceRemoved", reader);
  deleteDeferred();
}

TEST_F(WindowDevicesTest, RemovingTheCurrentReaderClosesThePopupAndShowsThePreviousPage) {
  auto* first = new ReaderWithTransport("K2000000001");
  auto* second = new ReaderWithTransport("K2000000002");
  QPointer<KelvoDevice> watch(second);
  call("deviceInitialized", first);
  call("deviceInitialized", second);
  ASSERT_EQ(currentDevice(), second);
  openDeviceList();
  ASSERT_EQ(frames().size(), 1);

  call("deviceRemoved", second);
  EXPECT_TRUE(frames().isEmpty());
  EXPECT_EQ(currentDevice(), first);
  EXPECT_EQ(stack()->count(), 2);
  deleteDeferred();
  EXPECT_TRUE(watch.isNull()) << "the window deletes a removed device";

  call("deviceRemoved", first);
  EXPECT_EQ(stack()->currentIndex(), 0);
  deleteDeferred();
}

TEST_F(WindowDevicesTest, RemovingAnotherReaderKeepsTheCurrentPage) {
  auto* first = new ReaderWithTransport("K2000000001");
  auto* second = new ReaderWithTransport("K2000000002");
  call("deviceInitialized", first);
  call("deviceInitialized", second);
  call("deviceRemoved", first);
  EXPECT_EQ(currentDevice(), second);
  EXPECT_EQ(stack()->count(), 2);
  call("deviceRemoved", second);
  deleteDeferred();
}

TEST_F(WindowDevicesTest, SelectingByDisplayNameShowsThatReader) {
  auto* first = new ReaderWithTransport("K2000000001");
  auto* second = new ReaderWithTransport("K2000000002");
  call("deviceInitialized", first);
  call("deviceInitialized", second);
  openDeviceList();
  select("Kelvo K2000000001");
  EXPECT_EQ(currentDevice(), first);
  EXPECT_TRUE(frames().isEmpty());

  openDeviceList();
  select(QString());
  EXPECT_EQ(currentDevice(), first) << "an empty name matches no page";
  EXPECT_TRUE(frames().isEmpty());
  call("deviceRemoved", first);
  call("deviceRemoved", second);
  deleteDeferred();
}

TEST_F(WindowDevicesTest, DeviceListPopupListsTheManagersReadersBelowTheButton) {
  openDeviceList();
  ASSERT_EQ(frames().size(), 1);
  auto* page = frames().first()->findChild<DevicesPage*>();
  ASSERT_NE(page, nullptr);
  EXPECT_EQ(page->findChild<QListWidget*>()->count(), window.deviceManager()->initializedDevices().size());
  auto* button = window.findChild<QPushButton*>("changeDeviceButton");
  const QPoint buttonBottom = button->mapTo(&window, QPoint(button->width() / 2, button->height()));
  EXPECT_GE(frames().first()->mapTo(&window, QPoint(0, 0)).y(), buttonBottom.y() - 1);
  EXPECT_EQ(frames().first()->maximumWidth(), Window::kFixedPopupMaxWidth);
}

TEST_F(WindowDevicesTest, CheckForUpdateAsksTheCurrentReaderOnly) {
  action("checkForUpdateAction")->trigger();  // "No Device": nothing to ask
  auto* reader = new ReaderWithTransport("K2000000042");
  QSignalSpy checking(reader, &KelvoDevice::deviceUpdateChecking);
  call("deviceInitialized", reader);
  action("checkForUpdateAction")->trigger();
  ASSERT_EQ(checking.count(), 1);
  EXPECT_EQ(checking.at(0).at(0).value<KelvoDevice*>(), reader);
  call("deviceRemoved", reader);
  deleteDeferred();
}

TEST_F(WindowDevicesTest, ResetKeyNeededAndFocusRequestsReachTheWindow) {
  auto* first = new ReaderWithTransport("K2000000001");
  auto* second = new ReaderWithTransport("K2000000002");
  call("deviceInitialized", first);
  call("deviceInitialized", second);
  auto* firstPage = qobject_cast<KelvoDeviceView*>(stack()->widget(1));
  ASSERT_NE(firstPage, nullptr);
  window.hide();
  emit firstPage->deviceViewFocused();
  EXPECT_EQ(currentDevice(), first);
  EXPECT_TRUE(window.isVisible());
  call("deviceRemoved", first);
  call("deviceRemoved", second);
  deleteDeferred();
}

// The manager is made with the window and runs in a thread of its own.
TEST(WindowManagerTest, DeviceManagerLivesInItsOwnThread) {
  Window window(false);
  ASSERT_NE(window.deviceManager(), nullptr);
  EXPECT_NE(window.deviceManager()->thread(), window.thread());
  EXPECT_TRUE(QTest::qWaitFor([&] { return window.deviceManager()->thread()->isRunning(); }, 2000));
}

// The whole chain: readers on the simulated radio become pages through the manager's thread, and the window's
// end stops that thread with every reader stack in it.
TEST(WindowWithReadersTest, EachReaderGetsAPageAndTheWindowEndsWithItsReaders) {
  QTemporaryDir directory;
  ASSERT_TRUE(directory.isValid());
  QFile scenario(directory.filePath("scenario.json"));
  ASSERT_TRUE(scenario.open(QIODevice::WriteOnly));
  scenario.write(R"({ "devices": [
    { "family": "kelvo", "address": "001a7dda7113", "generation": 1, "service": "6803",
      "descriptor": { "Serial": "5123456789" }, "battery": 80, "usb": 0, "card": { "atr": "3B8180018080" } },
    { "family": "kelvo", "address": "001a7dda8224", "generation": 2, "service": "6803",
      "descriptor": { "Serial": "K2000000042" }, "battery": 55, "usb": 1 } ] })");
  scenario.close();
  qputenv("TREVALON_RUNTIME_DIR", QFile::encodeName(directory.filePath("run")));
  qputenv("KELVO_BLE_BACKEND", "sim");
  qputenv("KELVO_SIM_SCENARIO", QFile::encodeName(scenario.fileName()));
  kelvo::test::SettingsFixture librarySettings;
  {
    Window window(false);
    auto* stack = window.findChild<QStackedWidget*>("kelvoStack");
    ASSERT_TRUE(QTest::qWaitFor([&] { return stack->count() == 3; }, 15000));
    QStringList names;
    for (int index = 1; index < stack->count(); ++index) {
      names.append(qobject_cast<KelvoDeviceView*>(stack->widget(index))->device()->displayName());
    }
    names.sort();
    EXPECT_EQ(names, (QStringList{"Kelvo 5123456789", "Kelvo K2000000042"}));
    EXPECT_EQ(window.deviceManager()->initializedDevices().size(), 2);
  }
  qunsetenv("KELVO_BLE_BACKEND");
  qunsetenv("KELVO_SIM_SCENARIO");
}

}  // namespace
