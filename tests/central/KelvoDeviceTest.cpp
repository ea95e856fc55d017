// SPDX-License-Identifier: Apache-2.0
// The device model: what a reader's state turns into (signals, log lines, notices, authorisation and removal),
// each setting of the settings table, the reader operations over raw RPC, and the text forms the log uses.
#include <gtest/gtest.h>

#include <QDateTime>
#include <QSignalSpy>
#include <QTest>
#include <utility>
#include <vector>

#include "ApplicationSettings.h"
#include "devices/DeviceSettingTable.h"
#include "devices/KelvoDevice.h"

namespace {

// A reader model whose notices, lock checks and raw RPCs are recorded instead of reaching the desktop, the
// workstation or a reader.
class RecordingDevice : public KelvoDevice {
 public:
  explicit RecordingDevice(const QString& serial = QStringLiteral("5123456789"), Descriptor extra = {})
      : KelvoDevice(descriptorOf(serial, std::move(extra))) {
    connect(this, &KelvoDevice::deviceRemoved, [this] { events.append(QStringLiteral("removed")); });
  }

  void lockWorkstationOnCardRemoval() override { events.append(QStringLiteral("lock check")); }
  bool indicate(quint8 indication, quint8 param1, quint8 param2) override {
    indications.append({indication, param1, param2});
    return true;
  }
  bool transmit(const QByteArray& request, QByteArray& response) override {
    requests.append(request);
    if (answers.isEmpty()) return false;
    response = answers.takeFirst();
    return true;
  }

  void connectedState(int cardStatus, int battery, int usb, const DeviceSettings& settings = {},
                      const TimeRanges& ranges = {}) {
    updateDeviceState(true, cardStatus, battery, 0, 0, usb, true, settings, ranges);
  }

  QStringList events;
  QList<QByteArray> requests;
  QList<QByteArray> answers;
  QList<QList<quint8>> indications;
  QStringList notices;
  bool noticeWorks = true;

 protected:
  bool showNotice(const QString& title, const QString& text, bool urgent) override {
    notices.append(title + QStringLiteral(" | ") + text + (urgent ? QStringLiteral(" | urgent") : QString()));
    return noticeWorks;
  }

 private:
  static Descriptor descriptorOf(const QString& serial, Descriptor extra) {
    extra.insert(QStringLiteral("Serial"), serial);
    extra.insert(QStringLiteral("MAC"), QStringLiteral("AABBCCDDEEFF"));
    return extra;
  }
};

DeviceSettings someSettings() {
  DeviceSettings settings;
  settings.signalStrength = 2;
  settings.advertisingMode = 1;
  settings.displayAlwaysEnabled = 0;
  settings.backlightEnabled = 1;
  settings.contrastLevel = 3;
  settings.buzzerEnabled = 1;
  settings.encryptionEnabled = 1;
  settings.coverageRssiMinValue = -70;
  return settings;
}

// Every change signal of the device, to tell which of them fired.
class ChangeSignals {
 public:
  explicit ChangeSignals(KelvoDevice* device) {
    add(device, &KelvoDevice::cardStatusChanged, "cardStatus");
    add(device, &KelvoDevice::batteryLevelChanged, "batteryLevel");
    add(device, &KelvoDevice::encryptionStatusChanged, "encryptionStatus");
    add(device, &KelvoDevice::cardAtrNumberChanged, "cardAtrNumber");
    add(device, &KelvoDevice::usbCableStatusChanged, "usbCableStatus");
    QObject::connect(device, &KelvoDevice::encryptionUsedChanged, [this](bool) { fired.append("encryptionUsed"); });
    add(device, &KelvoDevice::signalStrengthChanged, "signalStrength");
    add(device, &KelvoDevice::advertisingModeChanged, "advertisingMode");
    add(device, &KelvoDevice::displayAlwaysEnabledChanged, "displayAlwaysEnabled");
    add(device, &KelvoDevice::backlightEnabledChanged, "backlightEnabled");
    add(device, &KelvoDevice::contrastLevelChanged, "contrastLevel");
    add(device, &KelvoDevice::buzzerEnabledChanged, "buzzerEnabled");
    add(device, &KelvoDevice::encryptionEnabledChanged, "encryptionEnabled");
    add(device, &KelvoDevice::coverageRssiMinValueChanged, "coverage");
    QObject::connect(device, &KelvoDevice::workingTimeRangesChanged,
                     [this](TimeRanges) { fired.append("workingTimeRanges"); });
  }
  QStringList fired;

 private:
  void add(KelvoDevice* device, void (KelvoDevice::*changed)(int), const char* name) {
    QObject::connect(device, changed, [this, name](int) { fired.append(QLatin1String(name)); });
  }
};

class KelvoDeviceTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ApplicationSettings::setBatteryWarningThreshhold(20);
    ApplicationSettings::setLockingWorkstation(true);
  }
};

TEST_F(KelvoDeviceTest, FirstStateInitialisesWithoutAnyChangeSignalWhateverItsValues) {
  RecordingDevice device;
  ChangeSignals changes(&device);
  QSignalSpy initialized(&device, &KelvoDevice::deviceInitialized);
  QSignalSpy log(&device, &KelvoDevice::debugMessageLogged);
  TimeRanges ranges;
  ranges.ranges[1] = {1920, 2520};

  device.updateDeviceState(true, 6, 15, 1, 3, 1, true, someSettings(), ranges);

  EXPECT_EQ(initialized.count(), 1);
  EXPECT_TRUE(changes.fired.isEmpty()) << changes.fired.join(",").toStdString();
  EXPECT_TRUE(device.isInitialized());
  EXPECT_EQ(device.cardStatus(), 6);
  EXPECT_EQ(device.batteryLevel(), 15);
  EXPECT_EQ(device.settings(), someSettings());
  EXPECT_EQ(device.workingTimeRanges(), ranges);
  EXPECT_TRUE(device.notices.isEmpty());
  ASSERT_GE(log.count(), 1);
  EXPECT_EQ(log.at(0).at(0).toString(), "Initialized device Kelvo 5123456789");
}

TEST_F(KelvoDeviceTest, FreshDeviceHasTheModelsStartValues) {
  RecordingDevice device;
  EXPECT_EQ(device.cardStatus(), 1);
  EXPECT_EQ(device.settings().signalStrength, -1);
  EXPECT_EQ(device.settings().encryptionEnabled, -1);
  EXPECT_EQ(device.coverageRssiMinValue(), 127);
  EXPECT_EQ(device.workingTimeRanges(), TimeRanges());
  EXPECT_FALSE(device.isInitialized() || device.isAuthorized() || device.isRemoved());
  EXPECT_EQ(device.updateCheckRetryCount(), 1);
}

// Each field has its own signal and log line; a change of one setting says nothing about its neighbours.
TEST_F(KelvoDeviceTest, EachChangedFieldEmitsItsOwnSignalAndLogLineInFieldOrder) {
  RecordingDevice device;
  device.connectedState(1, 80, 0, someSettings());
  ChangeSignals changes(&device);
  QSignalSpy log(&device, &KelvoDevice::debugMessageLogged);

  DeviceSettings display = someSettings();
  display.displayAlwaysEnabled = 1;
  device.connectedState(1, 80, 0, display);
  EXPECT_EQ(changes.fired, QStringList{"displayAlwaysEnabled"});
  ASSERT_EQ(log.count(), 1);
  EXPECT_EQ(log.at(0).at(0).toString(), "Device's Kelvo 5123456789 display always enabled setting changed 1");

  changes.fired.clear();
  log.clear();
  DeviceSettings several = display;
  several.coverageRssiMinValue = -60;
  several.signalStrength = 3;
  TimeRanges ranges;
  ranges.ranges[0] = {480, 1080};
  device.updateDeviceState(true, 6, 79, 1, 2, 1, false, several, ranges);
  EXPECT_EQ(changes.fired,
            (QStringList{"cardStatus", "batteryLevel", "encryptionStatus", "cardAtrNumber", "usbCableStatus",
                         "encryptionUsed", "signalStrength", "coverage", "workingTimeRanges"}));
  QStringList lines;
  for (const QList<QVariant>& line : log) lines.append(line.at(0).toString());
  EXPECT_TRUE(lines.contains("Device's Kelvo 5123456789 card status changed 6"));
  EXPECT_TRUE(lines.contains("Device's Kelvo 5123456789 encryption used changed 0"));
  EXPECT_TRUE(lines.contains("Device's Kelvo 5123456789 coverage setting changed -60"));
  EXPECT_TRUE(
      lines.contains("Device's Kelvo 5123456789 working time ranges changed { {Su 08:00, Su 18:00}, "
                     "{Undefined, Undefined}, {Undefined, Undefined}, {Undefined, Undefined}, "
                     "{Undefined, Undefined}, {Undefined, Undefined}, {Undefined, Undefined} }"));
}

TEST_F(KelvoDeviceTest, DisconnectedStateRunsTheLockCheckBeforeRemovalAndOnlyOnce) {
  RecordingDevice device;
  device.connectedState(6, 80, 0);
  QSignalSpy removed(&device, &KelvoDevice::deviceRemoved);
  QSignalSpy log(&device, &KelvoDevice::debugMessageLogged);

  device.updateDeviceState(false, 6, 80, 0, 0, 0, true, {}, {});
  EXPECT_EQ(device.events, (QStringList{"lock check", "removed"}));
  EXPECT_EQ(removed.count(), 1);
  EXPECT_TRUE(device.isRemoved());
  EXPECT_EQ(log.last().at(0).toString(), "Disconnected device Kelvo 5123456789");

  device.updateDeviceState(false, 6, 80, 0, 0, 0, true, {}, {});
  device.removeDevice();
  EXPECT_EQ(device.events, (QStringList{"lock check", "removed"}));
  EXPECT_EQ(removed.count(), 1);
}

TEST_F(KelvoDeviceTest, CardLeavingTheReaderRunsTheLockCheckOncePerRemoval) {
  RecordingDevice device;
  device.connectedState(1, 80, 0);
  device.connectedState(6, 80, 0);
  EXPECT_TRUE(device.events.isEmpty());
  device.connectedState(1, 80, 0);
  device.connectedState(1, 80, 0);
  EXPECT_EQ(device.events, QStringList{"lock check"});
}

TEST_F(KelvoDeviceTest, DisconnectedFirstStateInitialisesAndRemovesWithoutLockCheck) {
  RecordingDevice device;
  QSignalSpy initialized(&device, &KelvoDevice::deviceInitialized);
  device.updateDeviceState(false, 1, 0, 0, 0, 0, false, {}, {});
  EXPECT_EQ(initialized.count(), 1);
  EXPECT_EQ(device.events, QStringList{"removed"});
}

struct BatteryCase {
  const char* name;
  int threshold;
  int usbCable;
  std::vector<int> levels;
  int notices;
  const char* title;
};

class BatteryNoticeTest : public KelvoDeviceTest, public ::testing::WithParamInterface<BatteryCase> {};

TEST_P(BatteryNoticeTest, ShowsAtMostOneNoticeUntilTheCableChanges) {
  const BatteryCase& example = GetParam();
  ApplicationSettings::setBatteryWarningThreshhold(example.threshold);
  RecordingDevice device;
  device.connectedState(1, 60, example.usbCable);
  for (int level : example.levels) device.connectedState(1, level, example.usbCable);
  ASSERT_EQ(device.notices.size(), example.notices) << device.notices.join("\n").toStdString();
  if (example.notices > 0) {
    EXPECT_TRUE(device.notices.first().startsWith(QLatin1String(example.title)));
    EXPECT_EQ(device.notices.first().endsWith(" | urgent"), QString(example.title) == "Kelvo Battery Warning");
  }
}

INSTANTIATE_TEST_SUITE_P(
    Levels, BatteryNoticeTest,
    ::testing::Values(BatteryCase{"atThresholdOnBattery", 20, 0, {20, 19, 18, 5}, 1, "Kelvo Battery Warning"},
                      BatteryCase{"aboveThreshold", 20, 0, {21, 50}, 0, ""},
                      BatteryCase{"lowButCharging", 20, 1, {10, 5}, 0, ""},
                      BatteryCase{"fullWhileCharging", 20, 1, {99, 100, 99, 100}, 1, "Kelvo Battery Information"},
                      BatteryCase{"fullOnBattery", 20, 0, {100}, 0, ""}),
    [](const ::testing::TestParamInfo<BatteryCase>& info) { return std::string(info.param.name); });

TEST_F(KelvoDeviceTest, BatteryWarningTextNamesTheThreshold) {
  ApplicationSettings::setBatteryWarningThreshhold(25);
  RecordingDevice device;
  device.connectedState(1, 60, 0);
  device.connectedState(1, 25, 0);
  ASSERT_EQ(device.notices.size(), 1);
  // The reader's name first, and a low battery is urgent.
  EXPECT_EQ(device.notices.first(), "Kelvo Battery Warning | " + device.displayName() +
                                        "\nThe battery charge went below threshold of 25%! Plug "
                                        "in USB to charge your Kelvo. | urgent");
}

TEST_F(KelvoDeviceTest, PluggingOrUnpluggingAllowsOneNewNotice) {
  RecordingDevice device;
  device.connectedState(1, 60, 0);
  device.connectedState(1, 20, 0);
  device.connectedState(1, 19, 1);  // plugged in: a new notice is allowed, but charging gives no warning
  device.connectedState(1, 18, 0);  // unplugged: the level fell before the cable went, so still no warning
  device.connectedState(1, 17, 0);  // the next fall on battery warns once more
  EXPECT_EQ(device.notices.size(), 2);
}

TEST_F(KelvoDeviceTest, NoticeThatCannotBeShownIsAnError) {
  RecordingDevice device;
  device.noticeWorks = false;
  QSignalSpy errors(&device, &KelvoDevice::errorOccurred);
  device.connectedState(1, 60, 0);
  device.connectedState(1, 10, 0);
  ASSERT_EQ(errors.count(), 1);
  EXPECT_EQ(errors.at(0).at(0).toString(), "Could not launch your toast notification!");
}

TEST_F(KelvoDeviceTest, ReadyCardStartsAuthorisationOnceAndAFailureIsRetriedAfterTheCardCameBack) {
  RecordingDevice device;
  QSignalSpy started(&device, &KelvoDevice::authorizationStarted);
  QSignalSpy authorized(&device, &KelvoDevice::deviceAuthorized);
  device.connectedState(6, 80, 0);
  device.connectedState(6, 80, 0);
  EXPECT_EQ(started.count(), 1);

  device.setAuthorized(false);
  device.connectedState(6, 80, 0);
  device.connectedState(6, 80, 0);
  EXPECT_EQ(started.count(), 1) << "no retry while the same card stays in";

  device.connectedState(1, 80, 0);
  device.connectedState(6, 80, 0);
  EXPECT_EQ(started.count(), 2);

  device.setAuthorized(true);
  EXPECT_EQ(authorized.count(), 1);
  EXPECT_TRUE(device.isAuthorized());
}

TEST_F(KelvoDeviceTest, ApplySettingsRequestsOnlyChangedSendableSettings) {
  RecordingDevice device;
  device.connectedState(1, 80, 0, someSettings());
  QSignalSpy requested(&device, &KelvoDevice::sendSettingRequested);
  DeviceSettings changed = someSettings();
  changed.buzzerEnabled = 0;
  changed.signalStrength = 1;
  changed.coverageRssiMinValue = -40;  // read with the others, never sent as a setting
  changed.contrastLevel = -1;          // unknown: nothing to send
  device.applySettings(changed);
  ASSERT_EQ(requested.count(), 2);
  EXPECT_EQ(requested.at(0).at(0).value<BYTE>(), 1);
  EXPECT_EQ(requested.at(0).at(1).value<BYTE>(), 1);
  EXPECT_EQ(requested.at(1).at(0).value<BYTE>(), 6);
  EXPECT_EQ(requested.at(1).at(1).value<BYTE>(), 0);

  QSignalSpy rangesRequested(&device, &KelvoDevice::sendWorkingTimeRangesRequested);
  device.applyWorkingTimeRanges(TimeRanges());
  EXPECT_EQ(rangesRequested.count(), 0);
  TimeRanges ranges;
  ranges.ranges[6] = {8640, 9000};
  device.applyWorkingTimeRanges(ranges);
  EXPECT_EQ(rangesRequested.count(), 1);
}

TEST_F(KelvoDeviceTest, DailyTimerFiresRightAfterInitialisationAndNotesTheTime) {
  RecordingDevice device;
  QSignalSpy logged(&device, &KelvoDevice::deviceLogged);
  QSignalSpy checking(&device, &KelvoDevice::deviceUpdateChecking);
  const qint64 before = QDateTime::currentMSecsSinceEpoch();
  device.connectedState(1, 80, 0);
  EXPECT_EQ(logged.count(), 0);
  ASSERT_TRUE(checking.wait(2000));
  EXPECT_EQ(logged.count(), 1);
  EXPECT_GE(ApplicationSettings::lastLogTime("AABBCCDDEEFF"), before);
  QTest::qWait(50);
  EXPECT_EQ(checking.count(), 1) << "the next check is a day away";
}

// ---------------------------------------------------------------------------------------------------------------
// The settings table, from each end: the record's field, the reader's id, the signal and the log line

// A device that stores every setting it is asked to send, as a transport does once the reader accepted it.
class StoringDevice : public RecordingDevice {
 public:
  void sendSetting(BYTE setting, BYTE value) override { storeSentSetting(setting, value); }
};

// Each field holds 10 + its id, set by name so that a row of the table pointing at the wrong field shows.
DeviceSettings numberedSettings() {
  DeviceSettings settings;
  settings.signalStrength = 11;
  settings.advertisingMode = 12;
  settings.displayAlwaysEnabled = 13;
  settings.backlightEnabled = 14;
  settings.contrastLevel = 15;
  settings.buzzerEnabled = 16;
  settings.encryptionEnabled = 17;
  settings.coverageRssiMinValue = 18;
  return settings;
}

struct SettingCase {
  int id;
  const char* signal;  // as ChangeSignals names it
  const char* logName;
  bool sendable;
};

const SettingCase kSettingCases[] = {
    {1, "signalStrength", "signal strength", true},
    {2, "advertisingMode", "advertising mode", true},
    {3, "displayAlwaysEnabled", "display always enabled", true},
    {4, "backlightEnabled", "backlight enabled", true},
    {5, "contrastLevel", "contrast level", true},
    {6, "buzzerEnabled", "buzzer enabled", true},
    {7, "encryptionEnabled", "encryption enabled", true},
    {8, "coverage", "coverage", false},
};

TEST(DeviceSettingsTest, EachIdAddressesItsOwnFieldAndOnlyIdsOneToEightExist) {
  for (const SettingCase& example : kSettingCases) {
    DeviceSettings settings = numberedSettings();
    EXPECT_EQ(settings.valueOf(example.id), 10 + example.id) << example.id;
    *settings.fieldOf(example.id) = 99;
    EXPECT_NE(settings, numberedSettings()) << example.id;
    for (int other = 1; other <= DeviceSettings::kCount; ++other) {
      EXPECT_EQ(settings.valueOf(other), other == example.id ? 99 : 10 + other) << example.id << " " << other;
    }
  }
  EXPECT_EQ(numberedSettings(), numberedSettings());
  DeviceSettings settings = numberedSettings();
  for (int id : {0, 9, -1, 256}) {
    EXPECT_EQ(settings.fieldOf(id), nullptr) << id;
    EXPECT_EQ(settings.valueOf(id), DeviceSettings::kUnknown) << id;
    EXPECT_EQ(DeviceSettingTable::find(id), nullptr) << id;
  }
}

TEST_F(KelvoDeviceTest, EachSettingChangesThroughItsOwnSignalAndLogLineWhicheverWayItArrives) {
  for (const SettingCase& example : kSettingCases) {
    StoringDevice reported;
    reported.connectedState(1, 80, 0, numberedSettings());
    ChangeSignals reportedChanges(&reported);
    QSignalSpy log(&reported, &KelvoDevice::debugMessageLogged);
    DeviceSettings changed = numberedSettings();
    *changed.fieldOf(example.id) = 42;
    reported.connectedState(1, 80, 0, changed);
    EXPECT_EQ(reportedChanges.fired, QStringList{example.signal}) << example.id;
    ASSERT_EQ(log.count(), 1) << example.id;
    EXPECT_EQ(log.at(0).at(0).toString(),
              QStringLiteral("Device's Kelvo 5123456789 %1 setting changed 42").arg(example.logName));

    StoringDevice sent;
    sent.connectedState(1, 80, 0, numberedSettings());
    ChangeSignals sentChanges(&sent);
    QSignalSpy requested(&sent, &KelvoDevice::sendSettingRequested);
    sent.applySettings(changed);
    if (example.sendable) {
      ASSERT_EQ(requested.count(), 1) << example.id;
      EXPECT_EQ(requested.at(0).at(0).value<BYTE>(), example.id);
      EXPECT_EQ(requested.at(0).at(1).value<BYTE>(), 42);
      EXPECT_EQ(sentChanges.fired, QStringList{example.signal}) << example.id << ": stored once the reader took it";
      EXPECT_EQ(sent.settings(), changed) << example.id;
    } else {
      EXPECT_EQ(requested.count(), 0) << example.id;
      EXPECT_TRUE(sentChanges.fired.isEmpty()) << example.id;
    }
  }
}

TEST_F(KelvoDeviceTest, StoringASettingTheApplicationDoesNotSendChangesNothing) {
  StoringDevice device;
  device.connectedState(1, 80, 0, numberedSettings());
  ChangeSignals changes(&device);
  QSignalSpy log(&device, &KelvoDevice::debugMessageLogged);
  for (int id : {0, 8, 9, 255}) device.sendSetting(static_cast<BYTE>(id), 3);
  EXPECT_TRUE(changes.fired.isEmpty());
  EXPECT_EQ(device.settings(), numberedSettings());
  ASSERT_EQ(log.count(), 4);
  EXPECT_EQ(log.at(1).at(0).toString(), "Sent to device Kelvo 5123456789 unknown setting with id 8 and value 3");
}

// ---------------------------------------------------------------------------------------------------------------
// Reader operations

QByteArray bytes(std::initializer_list<int> values) {
  QByteArray result;
  for (int value : values) result.append(static_cast<char>(value));
  return result;
}

struct BondCase {
  const char* name;
  QByteArray answer;
  bool ok;
  int ownIndex;
  QMap<int, QString> bonds;
};

class BondListTest : public KelvoDeviceTest, public ::testing::WithParamInterface<BondCase> {};

TEST_P(BondListTest, ParsesTheAnswer) {
  const BondCase& example = GetParam();
  RecordingDevice device;
  device.answers.append(example.answer);
  QMap<int, QString> bonds{{9, "stale"}};
  int ownIndex = -1;
  EXPECT_EQ(device.getBondedDevices(bonds, ownIndex), example.ok);
  EXPECT_EQ(device.requests, QList<QByteArray>{bytes({14})});
  if (example.ok) {
    EXPECT_EQ(ownIndex, example.ownIndex);
    EXPECT_EQ(bonds, example.bonds);
  }
}

INSTANTIATE_TEST_SUITE_P(
    Answers, BondListTest,
    ::testing::Values(
        BondCase{"noBonds", bytes({0, 1}), true, 1, {}},
        BondCase{"twoBonds", bytes({0, 0, 0, 2, 'p', 'c', 3, 3, 'f', 'o', 'o'}), true, 0, {{0, "pc"}, {3, "foo"}}},
        BondCase{"emptyNameIsUnknown", bytes({0, 2, 5, 0}), true, 2, {{5, "Unknown"}}},
        BondCase{"nameRunsPastTheEnd", bytes({0, 2, 5, 4, 'a', 'b'}), false, 0, {}},
        BondCase{"trailingByteIgnored", bytes({0, 2, 5}), true, 2, {}}, BondCase{"tooShort", bytes({0}), false, 0, {}},
        BondCase{"notSupported", bytes({2}), false, 0, {}}, BondCase{"readerError", bytes({1, 0, 0, 0}), false, 0, {}},
        BondCase{"emptyAnswer", QByteArray(), false, 0, {}}),
    [](const ::testing::TestParamInfo<BondCase>& info) { return std::string(info.param.name); });

TEST_F(KelvoDeviceTest, BondListFailuresSayWhy) {
  RecordingDevice device;
  QSignalSpy log(&device, &KelvoDevice::debugMessageLogged);
  QMap<int, QString> bonds;
  int ownIndex = 0;
  EXPECT_FALSE(device.getBondedDevices(bonds, ownIndex));
  device.answers = {QByteArray(), bytes({0}), bytes({0, 1, 7, 9, 'x'}), bytes({2})};
  for (int i = 0; i < 4; ++i) EXPECT_FALSE(device.getBondedDevices(bonds, ownIndex));
  QStringList lines;
  for (const QList<QVariant>& line : log) lines.append(line.at(0).toString());
  EXPECT_EQ(lines, (QStringList{"Failed transmit of RPC_METHOD_GET_BOND_IDX_PREFNAME_LIST",
                                "Empty transmit response of RPC_METHOD_GET_BOND_IDX_PREFNAME_LIST",
                                "Invalid response size of RPC_METHOD_GET_BOND_IDX_PREFNAME_LIST",
                                "Invalid response data of RPC_METHOD_GET_BOND_IDX_PREFNAME_LIST"}));
}

TEST_F(KelvoDeviceTest, EraseBondByStatus) {
  RecordingDevice device;
  QSignalSpy log(&device, &KelvoDevice::debugMessageLogged);
  device.answers = {bytes({0}), bytes({3, 7}), bytes({3}), bytes({1}), QByteArray()};
  EXPECT_TRUE(device.eraseBond(4));
  EXPECT_FALSE(device.eraseBond(4));
  EXPECT_FALSE(device.eraseBond(4));
  EXPECT_FALSE(device.eraseBond(4));
  EXPECT_FALSE(device.eraseBond(4));
  EXPECT_FALSE(device.eraseBond(4));
  EXPECT_EQ(device.requests.first(), bytes({15, 4}));
  QStringList lines;
  for (const QList<QVariant>& line : log) lines.append(line.at(0).toString());
  EXPECT_EQ(lines, (QStringList{"Error (7) of RPC_METHOD_ERASE_BOND_PREFNAME_BY_INDEX",
                                "Error (0) of RPC_METHOD_ERASE_BOND_PREFNAME_BY_INDEX",
                                "Invalid response size of RPC_METHOD_ERASE_BOND_PREFNAME_BY_INDEX",
                                "Failed transmit of RPC_METHOD_ERASE_BOND_PREFNAME_BY_INDEX"}));
}

TEST_F(KelvoDeviceTest, ExternalFlashWriteOfTheLargestLengthIsSentWhole) {
  RecordingDevice device;
  QByteArray data(70000, '\x5a');
  data[1] = '\x01';
  device.answers = {bytes({0})};
  EXPECT_TRUE(device.writeExternalFlash(data, 1, 65535));
  ASSERT_EQ(device.requests.size(), 1);
  const QByteArray& request = device.requests.first();
  ASSERT_EQ(request.size(), 7 + 65535);
  EXPECT_EQ(request.left(7), bytes({20, 1, 0, 0, 0, 0xFF, 0xFF}));
  EXPECT_EQ(request.mid(7), data.mid(1, 65535));
}

TEST_F(KelvoDeviceTest, ExternalFlashLimitsAreCheckedBeforeAnythingIsSent) {
  RecordingDevice device;
  QSignalSpy log(&device, &KelvoDevice::debugMessageLogged);
  const QByteArray data(70000, 'x');
  EXPECT_FALSE(device.writeExternalFlash(data, 0, 65536));
  EXPECT_FALSE(device.writeExternalFlash(data, 69000, 1001));
  EXPECT_FALSE(device.writeExternalFlash(data, -1, 10));
  EXPECT_TRUE(device.requests.isEmpty());
  ASSERT_EQ(log.count(), 3);
  EXPECT_EQ(log.at(0).at(0).toString(), "Invalid offset/length of RPC_METHOD_WRITE_EXTERNAL_FLASH");
  EXPECT_EQ(log.at(1).at(0).toString(), "Invalid data size of RPC_METHOD_WRITE_EXTERNAL_FLASH");

  device.answers = {bytes({4}), QByteArray()};
  EXPECT_FALSE(device.writeExternalFlash(data, 0, 16));
  EXPECT_FALSE(device.writeExternalFlash(data, 0, 16));
  EXPECT_EQ(log.at(log.count() - 2).at(0).toString(), "RPC error 4 of RPC_METHOD_WRITE_EXTERNAL_FLASH");
  EXPECT_EQ(log.last().at(0).toString(), "RPC_METHOD_WRITE_EXTERNAL_FLASH invalid result length");
}

TEST_F(KelvoDeviceTest, ExternalFlashSupportAndBootloaderFallback) {
  RecordingDevice device;
  device.answers = {bytes({0}), bytes({2}), QByteArray()};
  EXPECT_TRUE(device.supportsExternalFlash());
  EXPECT_FALSE(device.supportsExternalFlash());
  EXPECT_FALSE(device.supportsExternalFlash());
  EXPECT_FALSE(device.supportsExternalFlash()) << "no answer at all";
  EXPECT_EQ(device.requests.first(), bytes({20}));

  device.answers = {bytes({0}), bytes({2})};
  EXPECT_TRUE(device.gotoBootloader(1));
  EXPECT_TRUE(device.indications.isEmpty());
  EXPECT_TRUE(device.gotoBootloader(1));
  EXPECT_EQ(device.indications, (QList<QList<quint8>>{{4, 0, 0}}));
  EXPECT_EQ(device.requests.last(), bytes({22, 1}));
}

// ---------------------------------------------------------------------------------------------------------------
// Names, versions, text forms

TEST(KelvoDeviceNamesTest, ModelAndGenerationFollowTheSerial) {
  const struct {
    const char* serial;
    const char* model;
    bool second;
  } cases[] = {{"5721234567", "tvKelvo", false},     {"5123456789", "Classic", false},
               {"KLV21234567890", "tvKelvo2", true}, {"K2XX0000001", "tvKelvo2", true},
               {"K2M000001", "tvKelvo2Mini", true},  {"K2000000042", "Classic", true},
               {"k2xx0000001", "Classic", false}};
  for (const auto& example : cases) {
    RecordingDevice device(QString::fromLatin1(example.serial));
    EXPECT_EQ(device.modelName(), example.model) << example.serial;
    EXPECT_EQ(device.isSecondGeneration(), example.second) << example.serial;
    EXPECT_EQ(device.displayName(), QStringLiteral("Kelvo ") + example.serial);
  }
}

TEST(KelvoDeviceNamesTest, VersionsAreParsedFromTheDescriptor) {
  const struct {
    const char* firmware;
    QList<int> firmwareVersion;
    const char* hardware;
    QList<int> hardwareVersion;
  } cases[] = {{"2.1.7-K2", {2, 1, 7}, "1.2rev3", {1, 2, 3}},
               {"1.4.2", {1, 4, 2}, "2rev1", {2, 0, 1}},
               {"3.0beta-7", {3, 0}, "2.5", {2, 5}},
               {"", {}, "", {}}};
  for (const auto& example : cases) {
    RecordingDevice device("5123456789", {{"Firmware", example.firmware}, {"Hardware", example.hardware}});
    EXPECT_EQ(device.firmwareVersion(), example.firmwareVersion) << example.firmware;
    EXPECT_EQ(device.hardwareVersion(), example.hardwareVersion) << example.hardware;
  }
}

TEST(TimeRangesTest, TimesOfTheWeekPrintAsDayHourMinute) {
  EXPECT_EQ(TimeRanges::timeText(0), "Su 00:00");
  EXPECT_EQ(TimeRanges::timeText(6 * 1440 + 23 * 60 + 59), "Sa 23:59");
  EXPECT_EQ(TimeRanges::timeText(1440 + 8 * 60 + 5), "Mo 08:05");
  EXPECT_EQ(TimeRanges::timeText(-1), "Undefined");
  EXPECT_EQ(TimeRanges::timeText(7 * 1440 + 60), "Su 01:00") << "past the week wraps to its start";
}

TEST(TimeRangesTest, DefaultValueIsUnsetAndEqualityLooksAtAllFourteenValues) {
  TimeRanges unset;
  for (const TimeRanges::Range& range : unset.ranges) {
    EXPECT_EQ(range.start, -1);
    EXPECT_EQ(range.end, -1);
  }
  TimeRanges other;
  other.ranges[6].end = 0;
  EXPECT_NE(unset, other);
  EXPECT_EQ(unset.toText(),
            "{ {Undefined, Undefined}, {Undefined, Undefined}, {Undefined, Undefined}, {Undefined, Undefined}, "
            "{Undefined, Undefined}, {Undefined, Undefined}, {Undefined, Undefined} }");
}

}  // namespace
