// SPDX-License-Identifier: Apache-2.0
// The page of one reader: what it draws for the reader's state, which pop-ups its buttons open, and the bondings
// on its back, which it fetches in the device's own thread.
#include <gtest/gtest.h>

#include <QAccessible>

#include <QDir>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QSignalSpy>
#include <QSlider>
#include <QTest>
#include <QThread>
#include <QTranslator>
#include <atomic>
#include <functional>
#include <memory>

#include "ApplicationSettings.h"
#include "ScriptedReaderDevice.h"
#include "trevalon/firmware/Firmware.h"
#include "views/DeviceThreadCall.h"
#include "views/KelvoDeviceView.h"
#include "views/UpdateDevicePage.h"

namespace {

// Stands for the device manager, of which the page uses one signal.
class ManagerSignals : public QObject {
  Q_OBJECT
 signals:
  void prepareFirmwareUpdateRequested(KelvoDevice* device);
};

// The reader's answer to the bond list query: status, own index, then index, name length and name per bonding.
QByteArray bondListAnswer(int ownIndex, const QList<QPair<int, QByteArray>>& bondings) {
  QByteArray answer;
  answer.append('\0').append(static_cast<char>(ownIndex));
  for (const auto& bonding : bondings) {
    answer.append(static_cast<char>(bonding.first))
        .append(static_cast<char>(bonding.second.size()))
        .append(bonding.second);
  }
  return answer;
}

QString resourceOf(QWidget* widget) { return widget->property("resource").toString(); }

// The values of a first-generation reader with its card in, on battery.
DeviceSettings usualSettings() { return ScriptedReaderDevice::allSettings(2, 1, 1, 0, 1, -70); }

class KelvoDeviceViewTest : public ::testing::Test {
 protected:
  void SetUp() override { ApplicationSettings::setBatteryWarningThreshhold(20); }
  void TearDown() override {
    qDeleteAll(popups);
    ApplicationSettings::setBatteryWarningThreshhold(20);
  }

  std::unique_ptr<KelvoDeviceView> viewOf(KelvoDevice* device) {
    auto view = std::make_unique<KelvoDeviceView>(&manager, device);
    QObject::connect(view.get(), &KelvoDeviceView::popupOpened,
                     [this](QWidget* anchor, QWidget* content, bool fixedWidth, bool downwards, QPoint offset) {
                       popups.append(content);
                       lastPopup = {anchor, content, fixedWidth, downwards, offset};
                     });
    return view;
  }

  template <typename T>
  static T* child(QWidget* view, const char* name) {
    T* found = view->findChild<T*>(name);
    EXPECT_NE(found, nullptr) << name;
    return found;
  }
  static QLabel* label(QWidget* view, const char* name) { return child<QLabel>(view, name); }
  static QPushButton* button(QWidget* view, const char* name) { return child<QPushButton>(view, name); }

  void changeState(ScriptedReaderDevice& device, int cardStatus, int battery, int usb, const DeviceSettings& settings) {
    device.updateDeviceState(true, cardStatus, battery, 0, 0, usb, true, settings, TimeRanges());
  }

  struct Popup {
    QWidget* anchor = nullptr;
    QWidget* content = nullptr;
    bool fixedWidth = false;
    bool downwards = false;
    QPoint offset;
  };

  ManagerSignals manager;
  QList<QWidget*> popups;
  Popup lastPopup;
};

TEST_F(KelvoDeviceViewTest, ConstructionDrawsTheReadersCurrentValues) {
  ScriptedReaderDevice device("5720000001", {{"Firmware", "1.9.2"}, {"Hardware", "1.2rev3"}});
  device.initialize(6, 64, usualSettings());
  auto view = viewOf(&device);

  EXPECT_EQ(button(view.get(), "titleButton")->text(), "Kelvo 5720000001");
  EXPECT_EQ(resourceOf(button(view.get(), "pictureButton")), ":/res/gui/tvKelvo-On.png");
  EXPECT_EQ(resourceOf(label(view.get(), "cardLabel")), ":/res/gui/Card-OK.png");
  EXPECT_EQ(label(view.get(), "batteryBar")->geometry(), QRect(11, 211 - 124, 38, 124));
  EXPECT_EQ(label(view.get(), "batteryBar")->styleSheet(),
            "background-color: rgb(236, 236, 237); border: 1px solid rgb(128, 128, 128);");
  EXPECT_EQ(label(view.get(), "batteryMarker")->geometry(), QRect(11, 211 - 39, 38, 39));
  EXPECT_EQ(label(view.get(), "batteryLevelLabel")->text(), "64 %");
  EXPECT_TRUE(label(view.get(), "chargingLabel")->isHidden());
  EXPECT_EQ(resourceOf(label(view.get(), "encryptionLabel")), ":/res/gui/lock-256.png");
  EXPECT_EQ(resourceOf(label(view.get(), "coverageLabel")), ":/res/gui/coverage_on.png");
  EXPECT_EQ(resourceOf(label(view.get(), "signalLabel")), ":/res/gui/eco-signal-3-3.png");
  EXPECT_EQ(resourceOf(label(view.get(), "advertisingLabel")), ":/res/gui/EcoMode-Grafik_advertising.png");
  EXPECT_EQ(resourceOf(label(view.get(), "displayLabel")), ":/res/gui/EcoMode-Grafik_display.png");
  EXPECT_EQ(resourceOf(label(view.get(), "backlightLabel")), ":/res/gui/EcoMode-Grafik_backlight_ECO.png");
  EXPECT_EQ(resourceOf(label(view.get(), "buzzerLabel")), ":/res/gui/EcoMode-Grafik_buzzer.png");
  EXPECT_FALSE(button(view.get(), "eraseButton")->isEnabled());

  const QString keys = label(view.get(), "descriptorKeys")->text();
  EXPECT_LT(keys.indexOf("Serial"), keys.indexOf("MAC"));
  EXPECT_LT(keys.indexOf("MAC"), keys.indexOf("Hardware"));
  EXPECT_LT(keys.indexOf("Hardware"), keys.indexOf("Firmware"));
  EXPECT_EQ(keys.indexOf("Driver"), -1);
}

TEST_F(KelvoDeviceViewTest, ChangesOfTheReaderRedrawTheirSymbols) {
  ScriptedReaderDevice device("5720000001");
  device.initialize(6, 64, usualSettings());
  auto view = viewOf(&device);

  DeviceSettings changed = usualSettings();
  changed.signalStrength = 3;  // beyond the three levels of this generation
  changed.displayAlwaysEnabled = 2;
  changed.buzzerEnabled = 0;
  changed.coverageRssiMinValue = 127;
  changeState(device, 1, 20, 1, changed);

  EXPECT_EQ(resourceOf(label(view.get(), "cardLabel")), ":/res/gui/Card-NoCard.png");
  EXPECT_EQ(label(view.get(), "batteryBar")->styleSheet(), "background-color: rgb(255, 0, 0);");
  EXPECT_EQ(label(view.get(), "batteryLevelLabel")->text(), "20 %");
  EXPECT_FALSE(label(view.get(), "chargingLabel")->isHidden());
  EXPECT_TRUE(label(view.get(), "signalLabel")->isHidden());
  EXPECT_FALSE(button(view.get(), "signalButton")->isEnabled());
  EXPECT_TRUE(label(view.get(), "displayLabel")->isHidden());
  EXPECT_FALSE(button(view.get(), "displayButton")->isEnabled());
  EXPECT_EQ(resourceOf(label(view.get(), "buzzerLabel")), ":/res/gui/EcoMode-Grafik_buzzer_ECO.png");
  EXPECT_EQ(resourceOf(label(view.get(), "coverageLabel")), ":/res/gui/coverage_off.png");

  changeState(device, 2, 150, 0, changed);
  EXPECT_EQ(resourceOf(label(view.get(), "cardLabel")), ":/res/gui/Card-not_identified.png");
  EXPECT_EQ(label(view.get(), "batteryBar")->geometry(), QRect(11, 18, 38, 193));
  EXPECT_EQ(label(view.get(), "batteryLevelLabel")->text(), "100 %");

  changeState(device, 2, 0, 0, changed);
  EXPECT_EQ(label(view.get(), "batteryBar")->geometry(), QRect(11, 205, 38, 6));
  EXPECT_EQ(label(view.get(), "batteryBar")->styleSheet(), "background-color: rgb(255, 0, 0);");
}

TEST_F(KelvoDeviceViewTest, SecondGenerationReadersShowFourSignalLevels) {
  ScriptedReaderDevice device("K2XX000001");
  device.initialize(6, 64, ScriptedReaderDevice::allSettings(3, 1, 1, 1, 1));
  auto view = viewOf(&device);
  EXPECT_EQ(resourceOf(label(view.get(), "signalLabel")), ":/res/gui/eco-signal-4-4.png");
  EXPECT_TRUE(button(view.get(), "signalButton")->isEnabled());
  EXPECT_EQ(resourceOf(button(view.get(), "pictureButton")), ":/res/gui/K2-front.png");
}

TEST_F(KelvoDeviceViewTest, MiniHasNoBacklightAndAReaderWithoutCardSlotNoCardSymbol) {
  ScriptedReaderDevice mini("K2M0000001", {{"NOSCARD", "1"}});
  mini.initialize(6, 64, ScriptedReaderDevice::allSettings(1, 1, 1, 1, 1));
  auto view = viewOf(&mini);
  EXPECT_EQ(resourceOf(button(view.get(), "pictureButton")), ":/res/gui/tvKelvo2Mini-Front.png");
  EXPECT_TRUE(label(view.get(), "backlightLabel")->isHidden());
  EXPECT_TRUE(button(view.get(), "backlightButton")->isHidden());
  EXPECT_TRUE(label(view.get(), "cardLabel")->isHidden());

  changeState(mini, 1, 64, 0, ScriptedReaderDevice::allSettings(1, 1, 1, 0, 1));
  EXPECT_TRUE(label(view.get(), "backlightLabel")->isHidden());
  EXPECT_TRUE(label(view.get(), "cardLabel")->isHidden());
  QMetaObject::invokeMethod(button(view.get(), "backlightButton"), "click");
  EXPECT_TRUE(popups.isEmpty());
}

TEST_F(KelvoDeviceViewTest, SettingButtonsOpenTheirPagesAboveTheButton) {
  ScriptedReaderDevice device("5720000001");
  device.initialize(6, 64, ScriptedReaderDevice::allSettings(1, 1, 1, 1, 1));
  auto view = viewOf(&device);

  const struct {
    const char* button;
    const char* page;
    QPoint offset;
  } cases[] = {
      {"signalButton", "SignalStrngSettingPage", QPoint(0, 0)},
      {"advertisingButton", "AdvertisingSettingPage", QPoint(0, 0)},
      {"displayButton", "DisplaySettingPage", QPoint(0, 0)},
      {"backlightButton", "BacklightSettingPage", QPoint(0, 0)},
      {"buzzerButton", "BuzzerSettingPage", QPoint(0, 0)},
      {"batteryButton", "BatterySettingPage", QPoint(-50, 0)},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.button);
    button(view.get(), c.button)->click();
    ASSERT_NE(lastPopup.content, nullptr);
    EXPECT_TRUE(lastPopup.content->inherits(c.page));
    EXPECT_EQ(lastPopup.anchor, button(view.get(), c.button));
    EXPECT_TRUE(lastPopup.fixedWidth);
    EXPECT_TRUE(lastPopup.downwards);
    EXPECT_EQ(lastPopup.offset, c.offset);
  }

  // The advertising page leads on to the working times, which open over the whole page.
  button(view.get(), "advertisingButton")->click();
  QWidget* advertising = lastPopup.content;
  button(advertising, "scheduleButton")->click();
  EXPECT_TRUE(lastPopup.content->inherits("WorkingTimeRangesPage"));
  EXPECT_EQ(lastPopup.anchor, view->findChild<QWidget*>("mainArea"));
  EXPECT_FALSE(lastPopup.fixedWidth);
}

TEST_F(KelvoDeviceViewTest, NewBatteryThresholdMovesTheMarkerAndRecoloursTheBar) {
  ScriptedReaderDevice device("5720000001");
  device.initialize(6, 40, usualSettings());
  auto view = viewOf(&device);
  EXPECT_EQ(label(view.get(), "batteryBar")->styleSheet(),
            "background-color: rgb(236, 236, 237); border: 1px solid rgb(128, 128, 128);");

  button(view.get(), "batteryButton")->click();
  child<QSlider>(lastPopup.content, "slider")->setValue(50);
  EXPECT_EQ(label(view.get(), "batteryMarker")->geometry(), QRect(11, 211 - 97, 38, 97));
  EXPECT_EQ(label(view.get(), "batteryBar")->styleSheet(), "background-color: rgb(255, 0, 0);");
}

TEST_F(KelvoDeviceViewTest, UpdateButtonAsksForAnUpdateCheckAndAnOutdatedReaderTakesTheFocus) {
  ScriptedReaderDevice first("5720000001");
  ScriptedReaderDevice second("K2XX000001");
  first.initialize(6, 64, usualSettings());
  second.initialize(6, 64, usualSettings());
  auto firstView = viewOf(&first);
  auto secondView = viewOf(&second);
  QSignalSpy checking(&first, &KelvoDevice::deviceUpdateChecking);
  QSignalSpy focused(firstView.get(), &KelvoDeviceView::deviceViewFocused);
  QSignalSpy prepare(&manager, &ManagerSignals::prepareFirmwareUpdateRequested);

  button(firstView.get(), "updateButton")->click();
  ASSERT_EQ(checking.count(), 1);
  EXPECT_EQ(checking.first().at(0).value<KelvoDevice*>(), &first);

  emit first.deviceOutdated();
  EXPECT_EQ(focused.count(), 1);
  EXPECT_EQ(prepare.count(), 0);

  emit second.deviceOutdated();
  ASSERT_EQ(prepare.count(), 1);
  EXPECT_EQ(prepare.first().at(0).value<KelvoDevice*>(), &second);
}

// A first-generation reader's newer firmware is offered on its page; "Update" hands the reader on.
TEST_F(KelvoDeviceViewTest, AFirstGenerationReadersUpdateIsOfferedInAPopUp) {
  ScriptedReaderDevice device("5720000001");
  device.initialize(6, 64, usualSettings());
  auto view = viewOf(&device);
  auto firmware = std::make_shared<trevalon::Firmware>();
  firmware->version = trevalon::FirmwareVersion::parse("1.5.0");
  firmware->description = "Faster pairing";
  device.setAvailableFirmware(firmware);

  ASSERT_EQ(popups.size(), 1);
  auto* page = qobject_cast<UpdateDevicePage*>(popups.first());
  ASSERT_NE(page, nullptr);
  EXPECT_EQ(page->findChild<QLabel*>("offerLabel")->text(),
            "There is a newer firmware 1.5.0\navailable for device Kelvo 5720000001\n\nDescription: Faster pairing");
  QSignalSpy update(page, &UpdateDevicePage::updateClicked);
  QSignalSpy cancel(page, &UpdateDevicePage::cancelClicked);
  button(page, "updateButton")->click();
  button(page, "cancelButton")->click();
  ASSERT_EQ(update.count(), 1);
  EXPECT_EQ(update.first().at(0).value<KelvoDevice*>(), &device);
  EXPECT_EQ(cancel.count(), 1);
}

TEST_F(KelvoDeviceViewTest, GermanTranslationCoversThePageAndItsDescriptorKeys) {
  QTranslator translator;
  ASSERT_TRUE(translator.load("kelvocentral_de_DE", ":/i18n"));
  QCoreApplication::installTranslator(&translator);
  {
    ScriptedReaderDevice device("5720000001");
    device.initialize(6, 64, usualSettings());
    auto view = viewOf(&device);
    EXPECT_EQ(button(view.get(), "batteryButton")->text(), QString::fromUtf8("Batterie-Warnschwelle ändern"));
    EXPECT_EQ(button(view.get(), "signalButton")->text(), QString::fromUtf8("Signalstärke"));
    EXPECT_TRUE(label(view.get(), "descriptorKeys")->text().contains("Seriennummer"));
    button(view.get(), "advertisingButton")->click();
    EXPECT_EQ(button(lastPopup.content, "scheduleButton")->text(), "Arbeitszeiten");
  }
  QCoreApplication::removeTranslator(&translator);
}

// A reader in a thread of its own, as the device manager keeps them.
class ReaderThreadTest : public KelvoDeviceViewTest {
 protected:
  void SetUp() override {
    KelvoDeviceViewTest::SetUp();
    device = new ScriptedReaderDevice("K2XX000001");
    device->driverVersionText = "3.1.4";
    device->initialize(6, 64, ScriptedReaderDevice::allSettings(1, 1, 1, 1, 1));
    device->moveToThread(&thread);
    thread.start();
  }
  void TearDown() override {
    view.reset();
    ScriptedReaderDevice* doomed = device;
    inReaderThread([doomed] { delete doomed; });
    thread.quit();
    thread.wait();
    KelvoDeviceViewTest::TearDown();
  }

  // Runs the job in the reader's thread and waits for it, as the device manager's thread would run it.
  void inReaderThread(const std::function<void()>& job) {
    auto done = std::make_shared<std::atomic<bool>>(false);
    DeviceThreadCall::post(device, [job, done] {
      job();
      done->store(true);
    });
    while (!done->load()) QThread::msleep(1);
  }

  void showBack() { button(view.get(), "turnButton")->click(); }
  bool everyReaderCallInItsThread() {
    for (QThread* caller : device->callerThreads()) {
      if (caller != &thread) return false;
    }
    return true;
  }

  QThread thread;
  ScriptedReaderDevice* device = nullptr;
  std::unique_ptr<KelvoDeviceView> view;
};

TEST_F(ReaderThreadTest, BackShowsTheBondingsWithTheOwnOneInBlueAndErasesTheChosenOne) {
  device->answer(14, bondListAnswer(2, {{1, "laptop"}, {2, ""}, {5, "phone"}}));
  device->answer(15, QByteArray(1, '\0'));
  view = viewOf(device);
  auto* list = child<QListWidget>(view.get(), "bondList");
  QSignalSpy logged(view.get(), &KelvoDeviceView::debugMessageLogged);

  EXPECT_TRUE(QTest::qWaitFor([&] { return label(view.get(), "descriptorValues")->text().contains("3.1.4"); }));
  EXPECT_TRUE(label(view.get(), "descriptorKeys")->text().contains("Driver"));

  showBack();
  EXPECT_EQ(resourceOf(button(view.get(), "pictureButton")), ":/res/gui/K2-back.png");
  ASSERT_TRUE(QTest::qWaitFor([&] { return list->count() == 3; }));
  EXPECT_EQ(list->item(0)->text(), "laptop");
  EXPECT_EQ(list->item(1)->text(), "Unknown");
  EXPECT_EQ(list->item(2)->text(), "phone");
  EXPECT_EQ(list->item(1)->foreground().color(), QColor(0, 0, 255));
  EXPECT_NE(list->item(0)->foreground().color(), QColor(0, 0, 255));
  EXPECT_FALSE(button(view.get(), "eraseButton")->isEnabled());

  list->setCurrentRow(2);
  EXPECT_TRUE(button(view.get(), "eraseButton")->isEnabled());
  button(view.get(), "eraseButton")->click();
  ASSERT_TRUE(QTest::qWaitFor([&] { return list->count() == 2; }));
  EXPECT_FALSE(button(view.get(), "eraseButton")->isEnabled());
  EXPECT_EQ(device->requests().last(), QByteArray("\x0f\x05", 2));

  // Turning back and forth again does not ask the reader a second time.
  showBack();
  showBack();
  QTest::qWait(50);
  int bondQueries = 0;
  for (const QByteArray& request : device->requests()) bondQueries += request == QByteArray(1, 14) ? 1 : 0;
  EXPECT_EQ(bondQueries, 1);
  EXPECT_TRUE(everyReaderCallInItsThread());
  EXPECT_TRUE(logged.isEmpty());
}

TEST_F(ReaderThreadTest, FailedQueriesAreLoggedAndAFailedBondListHidesTheBondings) {
  device->answer(14, QByteArray("\x00\x01\x01\x01", 4));  // its only name runs past the end
  view = viewOf(device);
  QSignalSpy logged(view.get(), &KelvoDeviceView::debugMessageLogged);
  view->show();
  showBack();
  ASSERT_TRUE(QTest::qWaitFor([&] { return !logged.isEmpty(); }));
  EXPECT_EQ(logged.first().at(0).toString(), "Failed to query bonding list for device Kelvo K2XX000001");
  EXPECT_FALSE(child<QWidget>(view.get(), "bondingArea")->isVisible());
  EXPECT_TRUE(everyReaderCallInItsThread());
}

TEST_F(ReaderThreadTest, AFailedEraseIsLoggedWithTheBondingsIndex) {
  device->answer(14, bondListAnswer(1, {{1, "one"}}));
  device->answer(15, QByteArray("\x03\x09", 2));
  view = viewOf(device);
  QSignalSpy logged(view.get(), &KelvoDeviceView::debugMessageLogged);
  auto* list = child<QListWidget>(view.get(), "bondList");
  showBack();
  ASSERT_TRUE(QTest::qWaitFor([&] { return list->count() == 1; }));
  list->setCurrentRow(0);
  button(view.get(), "eraseButton")->click();
  ASSERT_TRUE(QTest::qWaitFor([&] { return !logged.isEmpty(); }));
  EXPECT_EQ(logged.last().at(0).toString(), "Failed to erase bonding with index 1");
  EXPECT_EQ(list->count(), 1);
  EXPECT_TRUE(button(view.get(), "eraseButton")->isEnabled());
}

TEST_F(ReaderThreadTest, ChangesFromTheReadersThreadReachThePage) {
  view = viewOf(device);
  ScriptedReaderDevice* reader = device;
  inReaderThread([reader] {
    reader->updateDeviceState(true, 1, 9, 0, 0, 1, true, ScriptedReaderDevice::allSettings(3, 1, 0, 1, 1),
                              TimeRanges());
  });
  ASSERT_TRUE(QTest::qWaitFor([&] { return label(view.get(), "batteryLevelLabel")->text() == "9 %"; }));
  EXPECT_TRUE(QTest::qWaitFor([&] { return resourceOf(label(view.get(), "signalLabel")).contains("4-4"); }));
  EXPECT_EQ(resourceOf(label(view.get(), "cardLabel")), ":/res/gui/Card-NoCard.png");
  EXPECT_EQ(resourceOf(label(view.get(), "displayLabel")), ":/res/gui/EcoMode-Grafik_display_ECO.png");
}

// What a screen reader gets: each picture-only control and symbol has a name, and the symbols say their state.
TEST_F(KelvoDeviceViewTest, PictureOnlyControlsAndSymbolsHaveAccessibleNamesAndStates) {
  ScriptedReaderDevice device("K2XX000001", {{"Firmware", "2.1.7-K2"}, {"Hardware", "2rev1"}, {"Build", "4711"}});
  device.initialize(6, 40, usualSettings());
  auto view = viewOf(&device);
  view->show();
  QCoreApplication::processEvents();
  auto accessible = [&view](const char* name, QAccessible::Text which) {
    QAccessibleInterface* interface = QAccessible::queryAccessibleInterface(child<QWidget>(view.get(), name));
    return interface != nullptr ? interface->text(which) : QStringLiteral("<no interface>");
  };
  const struct {
    const char* widget;
    const char* name;
  } named[] = {{"pictureButton", "Reader picture"},
               {"turnButton", "Turn the reader"},
               {"cardLabel", "Card"},
               {"batteryBody", "Battery"},
               {"encryptionLabel", "Link encryption"},
               {"coverageLabel", "Coverage"},
               {"signalLabel", "Signal Strength"},
               {"displayLabel", "Display"},
               {"backlightLabel", "Backlight"},
               {"buzzerLabel", "Buzzer"}};
  for (const auto& entry : named) {
    SCOPED_TRACE(entry.widget);
    EXPECT_EQ(accessible(entry.widget, QAccessible::Name), entry.name);
  }
  EXPECT_EQ(accessible("cardLabel", QAccessible::Description), "A card is in the reader");
  EXPECT_EQ(accessible("batteryBody", QAccessible::Description), "40 % charged; a warning comes at 20 %");
  EXPECT_FALSE(accessible("turnButton", QAccessible::Description).isEmpty());
  EXPECT_FALSE(accessible("buzzerLabel", QAccessible::Description).isEmpty());
}

// Tab walks the page in reading order: title, picture, turn arrow, battery, update, then the power-saving buttons.
TEST_F(KelvoDeviceViewTest, KeyboardFocusFollowsTheReadingOrder) {
  ScriptedReaderDevice device("K2XX000001", {{"Firmware", "2.1.7-K2"}, {"Hardware", "2rev1"}, {"Build", "4711"}});
  device.initialize(6, 40, usualSettings());
  auto view = viewOf(&device);
  QStringList order;
  QWidget* widget = child<QWidget>(view.get(), "titleButton");
  for (int i = 0; i < 12 && widget != nullptr; ++i) {
    order << widget->objectName();
    widget = widget->nextInFocusChain();
    while (widget != nullptr && widget->focusPolicy() == Qt::NoFocus) widget = widget->nextInFocusChain();
  }
  const QStringList expected = {"titleButton",       "pictureButton", "turnButton",      "batteryButton",
                                "updateButton",      "bondList",      "eraseButton",     "signalButton",
                                "advertisingButton", "displayButton", "backlightButton", "buzzerButton"};
  EXPECT_EQ(order, expected) << order.join(", ").toStdString();
}

// The window's page area is 982 x 580; nothing on the page may run out of it or under the power-saving panel.
TEST_F(KelvoDeviceViewTest, PageFitsTheWindowsPageArea) {
  ScriptedReaderDevice device("K2XX000001", {{"Firmware", "2.1.7-K2"}, {"Hardware", "2rev1"}, {"Build", "4711"}});
  device.initialize(6, 0, usualSettings());
  auto view = viewOf(&device);
  view->resize(982, 580);
  view->show();
  QCoreApplication::processEvents();
  EXPECT_LE(view->minimumSizeHint().height(), 580);
  EXPECT_LE(view->minimumSizeHint().width(), 982);
  EXPECT_EQ(view->size(), QSize(982, 580));

  QWidget* panel = child<QWidget>(view.get(), "ecoPanel");
  const QRect panelArea(panel->mapTo(view.get(), QPoint(0, 0)), panel->size());
  EXPECT_TRUE(view->rect().contains(panelArea));
  for (const char* name : {"titleButton", "pictureButton", "turnButton", "cardLabel", "batteryBody", "chargingLabel",
                           "encryptionLabel", "coverageLabel", "batteryLevelLabel", "batteryButton", "updateButton"}) {
    SCOPED_TRACE(name);
    QWidget* widget = child<QWidget>(view.get(), name);
    const QRect area(widget->mapTo(view.get(), QPoint(0, 0)), widget->size());
    EXPECT_TRUE(view->rect().contains(area));
    EXPECT_FALSE(area.intersects(panelArea));
  }
}

// Renders pages in a few states as the window shows them, checks the colours a person would look at, and keeps the
// pictures when KELVO_SCREENSHOT_DIR names a folder.
TEST_F(KelvoDeviceViewTest, RenderedPageShowsTheGaugeInItsColour) {
  const QString folder = qEnvironmentVariable("KELVO_SCREENSHOT_DIR");
  struct State {
    const char* name;
    QString serial;
    int cardStatus;
    int battery;
    int usb;
    DeviceSettings settings;
    bool back;
  };
  const State states[] = {
      {"first-generation-card-in", "5720000001", 6, 64, 0, usualSettings(), false},
      {"second-generation-low-battery-charging", "K2XX000042", 1, 12, 1,
       ScriptedReaderDevice::allSettings(3, 2, 0, 1, 0, 127), false},
      {"mini-back", "K2M0000007", 2, 90, 0, ScriptedReaderDevice::allSettings(0, 1, 1, 1, 1), true},
  };
  for (const State& state : states) {
    SCOPED_TRACE(state.name);
    ScriptedReaderDevice device(state.serial, {{"Firmware", "2.1.7-K2"}, {"Hardware", "2rev1"}, {"Build", "4711"}});
    device.answer(14, bondListAnswer(1, {{1, "laptop"}, {2, "phone"}}));
    device.initialize(1, 50, DeviceSettings());
    auto view = viewOf(&device);
    view->setStyleSheet("KelvoDeviceView { background-color: rgb(245, 245, 245); }");
    view->setAttribute(Qt::WA_StyledBackground);
    view->resize(982, 580);
    view->show();
    changeState(device, state.cardStatus, state.battery, state.usb, state.settings);
    if (state.back) {
      button(view.get(), "turnButton")->click();
      EXPECT_TRUE(QTest::qWaitFor([&] { return child<QListWidget>(view.get(), "bondList")->count() == 2; }));
    }
    const QImage shot = view->grab().toImage();
    QLabel* bar = label(view.get(), "batteryBar");
    const QColor barColour = shot.pixelColor(bar->mapTo(view.get(), bar->rect().center()));
    EXPECT_EQ(barColour, state.battery <= 20 ? QColor(255, 0, 0) : QColor(236, 236, 237));
    if (!folder.isEmpty()) {
      EXPECT_TRUE(shot.save(QDir(folder).filePath(QStringLiteral("device-view-%1.png").arg(state.name))));
    }
  }
}

}  // namespace

#include "KelvoDeviceViewTest.moc"
