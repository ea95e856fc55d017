// SPDX-License-Identifier: Apache-2.0
// The Bridge controller against the emulated Bridge of scenarios/bridge.json, through the real control library and
// libusb (run under scripts/with-usb and kelvo-sim-bridge, with KELVO_BRIDGE_CONTROL naming the Bridge's control
// FIFO). The tests share one Bridge session and run in this order: each leaves the Bridge as the next expects it.
#include <gtest/gtest.h>

#include <QFile>
#include <QSignalSpy>
#include <QTest>
#include <QTextStream>

#include "ApplicationSettings.h"
#include "bridge/KelvoDongle.h"
#include "devices/DeviceDescriptorConverter.h"
#include "devices/KelvoDevice.h"
#include "devices/KelvoDeviceManager.h"
#include "devices/TimeRanges.h"

namespace {

constexpr int kWaitMs = 5000;

// A control command to the emulated Bridge; its answer.
QString bridgeControl(const QString& command) {
  const QString fifo = qEnvironmentVariable("KELVO_BRIDGE_CONTROL");
  QFile answers(fifo + QStringLiteral(".out"));
  const qint64 before = answers.exists() ? answers.size() : 0;
  QFile pipe(fifo);
  if (!pipe.open(QIODevice::WriteOnly)) return QStringLiteral("no control FIFO");
  pipe.write((command + QStringLiteral("\n")).toUtf8());
  pipe.close();
  for (int waited = 0; waited < kWaitMs; waited += 50) {
    if (answers.exists() && answers.size() > before && answers.open(QIODevice::ReadOnly)) {
      answers.seek(before);
      QString answer = QString::fromUtf8(answers.readLine()).trimmed();
      answers.close();
      if (!answer.isEmpty()) return answer;
    }
    QTest::qWait(50);
  }
  return QStringLiteral("no answer");
}

// True once the spy has seen `count` signals in all, whether they came before the call or during it.
bool waitFor(QSignalSpy& spy, int count) {
  for (int waited = 0; spy.size() < count && waited < kWaitMs; waited += 50) QTest::qWait(50);
  return spy.size() >= count;
}

QString serialOf(const QByteArray& descriptorBytes) {
  KelvoDevice::Descriptor descriptor;
  QList<DeviceDescriptorConverter::Entry> entries;
  if (!DeviceDescriptorConverter::convert(descriptorBytes, descriptor, entries)) return QStringLiteral("unreadable");
  return descriptor.value(QStringLiteral("Serial"));
}

DeviceInfo reader(const char* address, const QString& name = QString()) {
  uint8_t bytes[DeviceInfo::kAddressBytes];
  const QByteArray text = QByteArray::fromHex(address);
  for (int i = 0; i < DeviceInfo::kAddressBytes; ++i) bytes[i] = static_cast<uint8_t>(text.at(5 - i));
  return DeviceInfo(name, bytes, true);
}

QStringList names(const QList<DeviceInfo>& devices) {
  QStringList list;
  for (const DeviceInfo& device : devices) list << device.name + QStringLiteral(" ") + device.addressText();
  return list;
}

TEST(BridgeDongle, OpensTheBridgeScansKelvoReadersAndAnnouncesThePairedOneItConnectsTo) {
  KelvoDongle dongle;
  QSignalSpy activated(&dongle, &KelvoDongle::activated);
  ASSERT_TRUE(activated.wait(kWaitMs));
  EXPECT_EQ(dongle.name(), "Desk Bridge");
  EXPECT_EQ(dongle.serial(), "KB2000000042");
  EXPECT_EQ(dongle.version(), "1.4.2");

  QSignalSpy scanned(&dongle, &KelvoDongle::scanFinished);
  dongle.scanDevices();
  ASSERT_EQ(scanned.size(), 1);
  EXPECT_EQ(names(scanned.first().first().value<QList<DeviceInfo>>()),
            QStringList({"Kelvo 5123456789 001A7DDA7113", "Kelvo 5123456790 001A7DDA7114"}));

  QSignalSpy connected(&dongle, &KelvoDongle::connectionSucceeded);
  QSignalSpy created(&dongle, &KelvoDongle::deviceCreated);
  dongle.connectDevice(reader("001a7dda7113", QStringLiteral("Kelvo at the desk")));
  EXPECT_EQ(connected.size(), 1);
  ASSERT_TRUE(created.wait(kWaitMs));
  EXPECT_EQ(serialOf(created.first().first().toByteArray()), "5123456789");
  EXPECT_EQ(ApplicationSettings::deviceName(QStringLiteral("001A7DDA7113")), "Kelvo at the desk");

  QByteArray state;
  ASSERT_TRUE(dongle.transmit(QByteArray(1, 13), state));
  EXPECT_EQ(state.toHex(), "00000140000000");  // encryption off, no card, 64 %, no cable, no ATR number
  QSignalSpy errors(&dongle, &KelvoDongle::errorOccurred);
  EXPECT_FALSE(dongle.transmit(QByteArray(), state));
  ASSERT_EQ(errors.size(), 1);
  EXPECT_EQ(errors.first().first().toString(), "Rpc request must not be empty");
}

TEST(BridgeDongle, AnUnpairedReaderIsPairedWithItsCodeAndReplacesTheAnnouncedOne) {
  KelvoDongle dongle;
  QSignalSpy created(&dongle, &KelvoDongle::deviceCreated);
  ASSERT_TRUE(created.wait(kWaitMs));  // the reader the Bridge is still connected to
  EXPECT_EQ(serialOf(created.first().first().toByteArray()), "5123456789");

  QSignalSpy pairingRequired(&dongle, &KelvoDongle::connectionPairingRequired);
  QSignalSpy paired(&dongle, &KelvoDongle::pairingSucceeded);
  QSignalSpy failed(&dongle, &KelvoDongle::pairingFailed);
  dongle.connectDevice(reader("001a7dda7114"));
  EXPECT_GE(pairingRequired.size(), 1);
  dongle.sendPasskey(111111);
  EXPECT_EQ(failed.size(), 1);
  dongle.connectDevice(reader("001a7dda7114"));
  QSignalSpy removed(&dongle, &KelvoDongle::deviceRemoved);
  created.clear();
  dongle.sendPasskey(654321);
  EXPECT_EQ(paired.size(), 1);
  // A new connection: the old reader is withdrawn and the new one announced.
  ASSERT_TRUE(created.wait(kWaitMs));
  ASSERT_EQ(removed.size(), 1);
  EXPECT_EQ(serialOf(removed.first().first().toByteArray()), "5123456789");
  EXPECT_EQ(serialOf(created.first().first().toByteArray()), "5123456790");

  // Paired readers by the names last seen, or "Kelvo " and the address for one never seen.
  QSignalSpy listed(&dongle, &KelvoDongle::queryPairedDevicesFinished);
  dongle.queryPairedDevices();
  ASSERT_EQ(listed.size(), 1);
  EXPECT_EQ(names(listed.first().first().value<QList<DeviceInfo>>()),
            QStringList({"Kelvo at the desk 001A7DDA7113", "Kelvo 001A7DDA7114 001A7DDA7114",
                         "Kelvo 001A7DDA7120 001A7DDA7120"}));

  QSignalSpy renamed(&dongle, &KelvoDongle::changeNameSucceeded);
  QSignalSpy notRenamed(&dongle, &KelvoDongle::changeNameFailed);
  dongle.changeName(QStringLiteral("0123456789abcdefg"));
  EXPECT_EQ(notRenamed.size(), 1);
  dongle.changeName(QStringLiteral("Hall Bridge"));
  ASSERT_EQ(renamed.size(), 1);
  EXPECT_EQ(dongle.name(), "Hall Bridge");
}

TEST(BridgeDongle, UnpluggedWithAReaderAnnouncedItWithdrawsTheReaderThenDeactivatesAndAResetReopens) {
  KelvoDongle dongle;
  QSignalSpy created(&dongle, &KelvoDongle::deviceCreated);
  ASSERT_TRUE(created.wait(kWaitMs));
  QList<QString> order;
  QObject::connect(&dongle, &KelvoDongle::deviceRemoved, [&order](const QByteArray& descriptor) {
    order << QStringLiteral("removed ") + serialOf(descriptor);
  });
  QObject::connect(&dongle, &KelvoDongle::deactivated, [&order] { order << QStringLiteral("deactivated"); });
  QSignalSpy deactivated(&dongle, &KelvoDongle::deactivated);
  EXPECT_EQ(bridgeControl(QStringLiteral("unplug")), "ok");
  ASSERT_TRUE(deactivated.wait(kWaitMs));
  EXPECT_EQ(order, QList<QString>({"removed 5123456790", "deactivated"}));
  EXPECT_FALSE(dongle.isOpen());

  QSignalSpy activated(&dongle, &KelvoDongle::activated);
  created.clear();
  EXPECT_EQ(bridgeControl(QStringLiteral("plug")), "ok");
  ASSERT_TRUE(waitFor(activated, 1));
  ASSERT_TRUE(waitFor(created, 1));  // still connected to its reader

  // A reset at the next poll: the reader is withdrawn, the Bridge closed, and opened again once it is back.
  order.clear();
  deactivated.clear();
  activated.clear();
  dongle.requestReset();
  ASSERT_TRUE(waitFor(deactivated, 1));
  EXPECT_EQ(order, QList<QString>({"removed 5123456790", "deactivated"}));
  ASSERT_TRUE(waitFor(activated, 1));
  EXPECT_EQ(dongle.name(), "Hall Bridge");
}

// The manager's own controller on its Bridge thread: the reader the Bridge connects to becomes a device, reads its
// settings and state through the relay, and goes when the Bridge is unplugged.
TEST(BridgeDongle, TheManagerMakesTheBridgesReaderADeviceAndDropsItWhenTheBridgeGoes) {
  KelvoDeviceManager manager(nullptr, false);
  QSignalSpy initialized(&manager, &KelvoDeviceManager::deviceInitialized);
  QSignalSpy removed(&manager, &KelvoDeviceManager::deviceRemoved);
  QSignalSpy activated(manager.dongle(), &KelvoDongle::activated);
  ASSERT_TRUE(waitFor(activated, 1));
  manager.dongle()->requestConnection(reader("001a7dda7113"));
  ASSERT_TRUE(waitFor(initialized, 1));
  auto* device = initialized.first().first().value<KelvoDevice*>();
  EXPECT_EQ(device->serial(), "5123456789");
  EXPECT_EQ(device->address(), "KB2000000042");  // a Bridge reader is known by the Bridge's serial
  EXPECT_EQ(device->batteryLevel(), 64);
  EXPECT_EQ(device->settings().encryptionEnabled, 0);

  // A setting goes to the reader as an indication through the Bridge, the working times as an RPC; the device
  // keeps what it sent, and the reader holds it when asked through the Bridge.
  QSignalSpy buzzer(device, &KelvoDevice::buzzerEnabledChanged);
  QSignalSpy rangesChanged(device, &KelvoDevice::workingTimeRangesChanged);
  emit device->sendSettingRequested(6, 0);
  ASSERT_TRUE(waitFor(buzzer, 1));
  EXPECT_EQ(buzzer.first().first().toInt(), 0);
  TimeRanges ranges;
  ranges.ranges[0] = {8 * 60, 17 * 60};
  ranges.ranges[6] = {-1, -1};
  emit device->sendWorkingTimeRangesRequested(ranges);
  ASSERT_TRUE(waitFor(rangesChanged, 1));
  EXPECT_TRUE(device->workingTimeRanges() == ranges);
  QByteArray held;
  ASSERT_TRUE(manager.dongle()->transmit(QByteArray(1, 8), held));
  EXPECT_TRUE(held.startsWith(QByteArray(1, 0)));
  EXPECT_TRUE(held.contains(QByteArray::fromHex("0600"))) << held.toHex().constData();
  ASSERT_TRUE(manager.dongle()->transmit(QByteArray(1, 11), held));
  EXPECT_EQ(held.left(5).toHex(), "00e001fc03");  // status, then Monday 480 to 1020 minutes

  EXPECT_EQ(bridgeControl(QStringLiteral("unplug")), "ok");
  ASSERT_TRUE(waitFor(removed, 1));
  EXPECT_EQ(removed.first().first().value<KelvoDevice*>(), device);
  EXPECT_EQ(bridgeControl(QStringLiteral("plug")), "ok");
}

}  // namespace
