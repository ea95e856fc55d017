// SPDX-License-Identifier: Apache-2.0
#include "devices/KelvoDevice.h"

#include <QDateTime>
#include <QMetaObject>
#include <QRegularExpression>
#include <QStringList>
#include <QThread>
#include <QTimerEvent>

#include "ApplicationSettings.h"
#include "DesktopNotifications.h"
#include "devices/DeviceSettingTable.h"
#include "devices/KelvoRpcCodec.h"
#include "security/LogonReader.h"
#include "security/WorkstationLocker.h"
#include "trevalon/firmware/OverTheAirWriter.h"

namespace {

constexpr quint8 kIndicationBootloader = 4;
constexpr int kFullBattery = 100;

}  // namespace

struct KelvoDevice::State {
  bool connected;
  int cardStatus;
  int batteryLevel;
  int encryptionStatus;
  int cardAtrNumber;
  int usbCableStatus;
  bool encryptionUsed;
  DeviceSettings settings;
  TimeRanges ranges;
};

KelvoDevice::KelvoDevice(const Descriptor& descriptor, QObject* parent) : QObject(parent) {
  qRegisterMetaType<KelvoDevice*>("KelvoDevice*");
  qRegisterMetaType<BYTE>("BYTE");
  qRegisterMetaType<TimeRanges>("TimeRanges");
  {
    // Made on the device manager's thread and read on the GUI thread: written under the lock its readers take.
    std::lock_guard<std::mutex> guard(lock);
    descriptorItems = descriptor;
    settingsRecord.coverageRssiMinValue = DeviceSettings::kDefaultCoverageRssiMinValue;
    parseVersions();
  }

  connect(this, &KelvoDevice::sendSettingRequested, this, &KelvoDevice::sendSetting);
  connect(this, &KelvoDevice::sendWorkingTimeRangesRequested, this, &KelvoDevice::sendWorkingTimeRanges);
  connect(this, &KelvoDevice::indicateRequested, this, &KelvoDevice::indicate);
  connect(this, &KelvoDevice::removeDeviceRequested, this, &KelvoDevice::removeDevice);
  connect(this, &KelvoDevice::batteryLevelChanged, this, &KelvoDevice::onBatteryLevelChanged);
  connect(this, &KelvoDevice::usbCableStatusChanged, this, &KelvoDevice::onUsbCableStatusChanged);

  statePollTimerId = startTimer(kStatePollMs, Qt::CoarseTimer);
}

KelvoDevice::~KelvoDevice() = default;

QString KelvoDevice::address() const { return descriptorValue(QStringLiteral("MAC")); }

QString KelvoDevice::descriptorValue(const QString& key) const {
  std::lock_guard<std::mutex> guard(lock);
  return descriptorItems.value(key);
}

bool KelvoDevice::hasTransport() const { return false; }

QString KelvoDevice::driverVersion() { return QString(); }

void KelvoDevice::sendSetting(BYTE setting, BYTE value) {
  Q_UNUSED(setting);
  Q_UNUSED(value);
}

void KelvoDevice::sendWorkingTimeRanges(TimeRanges ranges) { Q_UNUSED(ranges); }

bool KelvoDevice::indicate(quint8 indication, quint8 param1, quint8 param2) {
  Q_UNUSED(indication);
  Q_UNUSED(param1);
  Q_UNUSED(param2);
  return false;
}

bool KelvoDevice::transmit(const QByteArray& request, QByteArray& response) {
  Q_UNUSED(request);
  Q_UNUSED(response);
  return false;
}

void KelvoDevice::requestState() {}

void KelvoDevice::timerEvent(QTimerEvent* event) {
  if (event->timerId() == statePollTimerId) {
    requestState();
  } else if (event->timerId() == dailyTimerId) {
    onDailyTimer();
  } else {
    QObject::timerEvent(event);
  }
}

// ---------------------------------------------------------------------------------------------------------------
// State updates

void KelvoDevice::updateDeviceState(bool connected, int cardStatus, int batteryLevel, int encryptionStatus,
                                    int cardAtrNumber, int usbCableStatus, bool encryptionUsed,
                                    const DeviceSettings& settings, const TimeRanges& ranges) {
  // A removed device has said goodbye once; a late state must not lock again or announce a second removal.
  if (isRemoved()) return;
  const State incoming{connected,      cardStatus, batteryLevel, encryptionStatus, cardAtrNumber, usbCableStatus,
                       encryptionUsed, settings,   ranges};
  if (!isInitialized()) {
    initializeFrom(incoming);
  } else {
    applyChanges(incoming);
  }
  followAuthorization(connected);
  removeIfDisconnected(connected);
}

void KelvoDevice::initializeFrom(const State& incoming) {
  {
    std::lock_guard<std::mutex> guard(lock);
    cardStatusValue = incoming.cardStatus;
    batteryLevelValue = incoming.batteryLevel;
    encryptionStatusValue = incoming.encryptionStatus;
    cardAtrNumberValue = incoming.cardAtrNumber;
    usbCableStatusValue = incoming.usbCableStatus;
    encryptionUsedValue = incoming.encryptionUsed;
    settingsRecord = incoming.settings;
    ranges = incoming.ranges;
    initialized = true;
  }
  emit deviceInitialized(this);
  dailyTimerId = startTimer(0, Qt::CoarseTimer);
  emit debugMessageLogged(QStringLiteral("Initialized device %1").arg(displayName()));
}

void KelvoDevice::applyChanges(const State& incoming) {
  if (cardStatus() != kCardStatusNoCard && (!incoming.connected || incoming.cardStatus == kCardStatusNoCard)) {
    lockWorkstationOnCardRemoval();
  }

  // Each field is stored before its own signal goes out, and no later field before it, so a receiver (the
  // battery notice looks at the USB cable) sees the record as it was when that one value changed.
  auto apply = [this](int& stored, int value, void (KelvoDevice::*changed)(int), const QString& what) {
    {
      std::lock_guard<std::mutex> guard(lock);
      if (stored == value) return;
      stored = value;
    }
    emit(this->*changed)(value);
    emit debugMessageLogged(
        QStringLiteral("Device's %1 %2 changed %3").arg(displayName(), what, QString::number(value)));
  };
  apply(cardStatusValue, incoming.cardStatus, &KelvoDevice::cardStatusChanged, QStringLiteral("card status"));
  apply(batteryLevelValue, incoming.batteryLevel, &KelvoDevice::batteryLevelChanged, QStringLiteral("battery level"));
  apply(encryptionStatusValue, incoming.encryptionStatus, &KelvoDevice::encryptionStatusChanged,
        QStringLiteral("encryption status"));
  apply(cardAtrNumberValue, incoming.cardAtrNumber, &KelvoDevice::cardAtrNumberChanged,
        QStringLiteral("card atr number"));
  apply(usbCableStatusValue, incoming.usbCableStatus, &KelvoDevice::usbCableStatusChanged,
        QStringLiteral("usb cable status"));

  bool encryptionUsedChangedNow = false;
  {
    std::lock_guard<std::mutex> guard(lock);
    if (encryptionUsedValue != incoming.encryptionUsed) {
      encryptionUsedValue = incoming.encryptionUsed;
      encryptionUsedChangedNow = true;
    }
  }
  if (encryptionUsedChangedNow) {
    emit encryptionUsedChanged(incoming.encryptionUsed);
    emit debugMessageLogged(QStringLiteral("Device's %1 encryption used changed %2")
                                .arg(displayName())
                                .arg(incoming.encryptionUsed ? 1 : 0));
  }

  for (const DeviceSettingTable::Setting& setting : DeviceSettingTable::all()) {
    apply(settingsRecord.*setting.field, incoming.settings.*setting.field, setting.changed,
          QLatin1String(setting.logName) + QLatin1String(" setting"));
  }

  bool rangesChanged = false;
  {
    std::lock_guard<std::mutex> guard(lock);
    if (ranges != incoming.ranges) {
      ranges = incoming.ranges;
      rangesChanged = true;
    }
  }
  if (rangesChanged) {
    emit workingTimeRangesChanged(incoming.ranges);
    emit debugMessageLogged(
        QStringLiteral("Device's %1 working time ranges changed %2").arg(displayName(), incoming.ranges.toText()));
  }
}

// A failed authorisation is tried again only once the card has left the reader and come back; until then the
// failure stays noted, so that the retry is not lost when the card stays in for several polls.
void KelvoDevice::followAuthorization(bool connected) {
  if (!connected) return;
  bool start = false;
  {
    std::lock_guard<std::mutex> guard(lock);
    if (authorizationFailedFlag && cardStatusValue != kCardStatusReady) {
      authorizationFailedFlag = false;
      authorizationStartedFlag = false;
    }
    if (!authorizationStartedFlag && cardStatusValue == kCardStatusReady) {
      authorizationStartedFlag = true;
      start = true;
    }
  }
  if (start) emit authorizationStarted(this);
}

void KelvoDevice::removeIfDisconnected(bool connected) {
  if (connected) return;
  emit debugMessageLogged(QStringLiteral("Disconnected device %1").arg(displayName()));
  removeDevice();
}

void KelvoDevice::removeDevice() {
  // A request from the GUI thread (the bond list) may fail; the timers belong to the device's own thread.
  if (QThread::currentThread() != thread()) {
    emit removeDeviceRequested();
    return;
  }
  {
    std::lock_guard<std::mutex> guard(lock);
    if (removed) return;
    removed = true;
  }
  stopTimers();
  emit deviceRemoved(this);
}

void KelvoDevice::stopTimers() {
  if (statePollTimerId != 0) killTimer(statePollTimerId);
  if (dailyTimerId != 0) killTimer(dailyTimerId);
  statePollTimerId = 0;
  dailyTimerId = 0;
}

void KelvoDevice::setAuthorized(bool ok) {
  {
    std::lock_guard<std::mutex> guard(lock);
    if (ok) {
      authorized = true;
    } else {
      authorizationFailedFlag = true;
    }
  }
  if (ok) emit deviceAuthorized(this);
}

bool KelvoDevice::readDescriptor(QByteArray& data) {
  Q_UNUSED(data);
  return false;
}

void KelvoDevice::replaceDescriptor(const Descriptor& descriptor) {
  {
    std::lock_guard<std::mutex> guard(lock);
    descriptorItems = descriptor;
    availableFirmwareValue.reset();
  }
  emit descriptorChanged();
}

void KelvoDevice::setAvailableFirmware(std::shared_ptr<trevalon::Firmware> firmware) {
  const bool outdated = firmware != nullptr;
  {
    std::lock_guard<std::mutex> guard(lock);
    availableFirmwareValue = std::move(firmware);
  }
  if (outdated) emit deviceOutdated();
}

void KelvoDevice::scheduleUpdateCheckRetry() {
  if (isRemoved()) return;
  if (dailyTimerId != 0) killTimer(dailyTimerId);
  int retries = 0;
  {
    std::lock_guard<std::mutex> guard(lock);
    retries = updateCheckRetries++;
  }
  dailyTimerId = startTimer(retries * kUpdateRetryStepMs, Qt::CoarseTimer);
}

void KelvoDevice::onDailyTimer() {
  killTimer(dailyTimerId);
  dailyTimerId = startTimer(kDailyMs, Qt::CoarseTimer);
  ApplicationSettings::setLastLogTime(descriptorValue(QStringLiteral("MAC")), QDateTime::currentMSecsSinceEpoch());
  emit deviceLogged(this);
  emit deviceUpdateChecking(this);
}

// Only a session opened with a smart card is locked for one; the lock task watches the logon reader itself, this
// check covers the reader that holds the user's own card.
void KelvoDevice::lockWorkstationOnCardRemoval() {
  if (!ApplicationSettings::lockingWorkstation() || !isAuthorized()) return;
  if (LogonReader::tokenLabel().isEmpty()) return;
  emit verboseMessageLogged(QStringLiteral("Last logon used a smart card"));
  QString failure;
  switch (WorkstationLocker::lock(failure)) {
    case WorkstationLocker::Result::kLocked:
      emit debugMessageLogged(
          QStringLiteral("Locking the workstation caused by removing a card from %1").arg(displayName()));
      break;
    case WorkstationLocker::Result::kFailed:
      emit errorOccurred(QStringLiteral("Failed to lock the workstation (error %1)").arg(failure));
      break;
    case WorkstationLocker::Result::kNotRepeated:
      break;
  }
}

// ---------------------------------------------------------------------------------------------------------------
// Settings and ranges

void KelvoDevice::applySettings(const DeviceSettings& settings) {
  const DeviceSettings stored = this->settings();
  for (const DeviceSettingTable::Setting& setting : DeviceSettingTable::all()) {
    const int32_t value = settings.*setting.field;
    if (setting.access != DeviceSettingTable::kSendable || value == stored.*setting.field) continue;
    // An unknown value is not a setting: sending it would write 0xFF into the reader.
    if (value < 0 || value > 0xFF) continue;
    emit sendSettingRequested(static_cast<BYTE>(setting.id), static_cast<BYTE>(value));
  }
}

void KelvoDevice::applyWorkingTimeRanges(const TimeRanges& ranges) {
  if (ranges != workingTimeRanges()) emit sendWorkingTimeRangesRequested(ranges);
}

void KelvoDevice::storeSentSetting(BYTE setting, BYTE value) {
  const DeviceSettingTable::Setting* sent = DeviceSettingTable::find(setting);
  if (sent == nullptr || sent->access != DeviceSettingTable::kSendable) {
    emit debugMessageLogged(QStringLiteral("Sent to device %1 unknown setting with id %2 and value %3")
                                .arg(displayName())
                                .arg(setting)
                                .arg(value));
    return;
  }
  {
    std::lock_guard<std::mutex> guard(lock);
    settingsRecord.*sent->field = value;
  }
  emit(this->*sent->changed)(value);
}

void KelvoDevice::storeSentWorkingTimeRanges(const TimeRanges& sent) {
  {
    std::lock_guard<std::mutex> guard(lock);
    ranges = sent;
  }
  emit workingTimeRangesChanged(sent);
}

// ---------------------------------------------------------------------------------------------------------------
// Battery notices

void KelvoDevice::onBatteryLevelChanged(int level) {
  if (isBatteryNoticeShown()) return;
  const int threshold = ApplicationSettings::batteryWarningThreshhold();
  const int usbCable = usbCableStatus();
  QString title;
  QString text;
  bool urgent = false;
  if (threshold >= level && usbCable == 0) {
    title = tr("Kelvo Battery Warning");
    text = tr("The battery charge went below threshold of %1%! Plug in USB to charge your Kelvo.").arg(threshold);
    urgent = true;
  } else if (level == kFullBattery && usbCable != 0) {
    title = tr("Kelvo Battery Information");
    text = tr("Your Kelvo is fully charged now.");
  } else {
    return;
  }
  // With several readers the notice must say which one it is about.
  text = displayName() + QLatin1Char('\n') + text;
  {
    std::lock_guard<std::mutex> guard(lock);
    batteryNoticeShown = true;
  }
  if (!showNotice(title, text, urgent)) {
    emit errorOccurred(QStringLiteral("Could not launch your toast notification!"));
  }
}

void KelvoDevice::onUsbCableStatusChanged(int status) {
  Q_UNUSED(status);
  std::lock_guard<std::mutex> guard(lock);
  batteryNoticeShown = false;
}

// The notice service belongs to the GUI thread; the device asks it there and does not wait for the bus.
bool KelvoDevice::showNotice(const QString& title, const QString& text, bool urgent) {
  DesktopNotifications& notifications = DesktopNotifications::instance();
  if (!notifications.isInitialized()) return false;
  const auto urgency = urgent ? DesktopNotifications::Urgency::critical : DesktopNotifications::Urgency::normal;
  QMetaObject::invokeMethod(
      &notifications, [&notifications, title, text, urgency] { notifications.showNotice(title, text, urgency); },
      Qt::QueuedConnection);
  return true;
}

// ---------------------------------------------------------------------------------------------------------------
// Reader operations over RPC

bool KelvoDevice::getBondedDevices(QMap<int, QString>& bonds, int& ownIndex) {
  bonds.clear();
  QByteArray answer;
  if (!transmit(KelvoRpcCodec::bondListRequest(), answer)) {
    emit debugMessageLogged(QStringLiteral("Failed transmit of RPC_METHOD_GET_BOND_IDX_PREFNAME_LIST"));
    return false;
  }
  QString problem;
  const bool ok = KelvoRpcCodec::readBondList(answer, bonds, ownIndex, problem);
  for (QString& name : bonds) {
    if (name.isEmpty()) name = tr("Unknown");
  }
  if (!problem.isEmpty()) emit debugMessageLogged(problem);
  return ok;
}

bool KelvoDevice::eraseBond(int index) {
  QByteArray answer;
  if (!transmit(KelvoRpcCodec::eraseBondRequest(index), answer)) {
    emit debugMessageLogged(QStringLiteral("Failed transmit of RPC_METHOD_ERASE_BOND_PREFNAME_BY_INDEX"));
    return false;
  }
  QString problem;
  const bool ok = KelvoRpcCodec::readEraseBond(answer, problem);
  if (!problem.isEmpty()) emit debugMessageLogged(problem);
  return ok;
}

bool KelvoDevice::writeExternalFlash(const QByteArray& data, int offset, int length) {
  QByteArray request;
  QString problem;
  if (!KelvoRpcCodec::externalFlashWriteRequest(data, offset, length, request, problem)) {
    emit debugMessageLogged(problem);
    return false;
  }
  QByteArray answer;
  if (!transmit(request, answer)) {
    emit debugMessageLogged(QStringLiteral("Failed transmit RPC_METHOD_WRITE_EXTERNAL_FLASH"));
    return false;
  }
  const bool ok = KelvoRpcCodec::readExternalFlashWrite(answer, problem);
  if (!problem.isEmpty()) emit debugMessageLogged(problem);
  return ok;
}

bool KelvoDevice::supportsExternalFlash() {
  return trevalon::OverTheAirWriter::supported(
      [this](const std::vector<uint8_t>& request) { return exchangeRpc(request); });
}

std::optional<std::vector<uint8_t>> KelvoDevice::exchangeRpc(const std::vector<uint8_t>& request) {
  QByteArray answer;
  if (!transmit(QByteArray(reinterpret_cast<const char*>(request.data()), static_cast<int>(request.size())), answer)) {
    return std::nullopt;
  }
  return std::vector<uint8_t>(answer.begin(), answer.end());
}

// Readers whose firmware cannot switch over RPC enter the bootloader on an indication instead.
bool KelvoDevice::gotoBootloader(quint8 mode) {
  QByteArray answer;
  transmit(KelvoRpcCodec::bootloaderRequest(mode), answer);
  if (KelvoRpcCodec::bootloaderNotSupported(answer)) indicate(kIndicationBootloader, 0, 0);
  return true;
}

// ---------------------------------------------------------------------------------------------------------------
// Names and versions

QString KelvoDevice::serial() const { return descriptorValue(QStringLiteral("Serial")); }

QString KelvoDevice::displayName() const { return QStringLiteral("Kelvo ") + serial(); }

QString KelvoDevice::modelName() const {
  const QString number = serial();
  if (number.startsWith(QLatin1String("572"))) return QStringLiteral("tvKelvo");
  if (number.startsWith(QLatin1String("KLV2")) || number.startsWith(QLatin1String("K2XX"))) {
    return QStringLiteral("tvKelvo2");
  }
  if (number.startsWith(QLatin1String("K2M"))) return QStringLiteral("tvKelvo2Mini");
  return QStringLiteral("Classic");
}

bool KelvoDevice::isSecondGeneration() const {
  const QString number = serial();
  return number.startsWith(QLatin1String("K2")) || number.startsWith(QLatin1String("KLV2"));
}

void KelvoDevice::parseVersions() {
  const QStringList firmwareParts =
      descriptorItems.value(QStringLiteral("Firmware")).split(QLatin1Char('-'), Qt::SkipEmptyParts);
  if (!firmwareParts.isEmpty()) {
    QString numeric = firmwareParts.first();
    const int end = numeric.indexOf(QRegularExpression(QStringLiteral("[^0-9.]")));
    if (end >= 0) numeric.truncate(end);
    for (const QString& part : numeric.split(QLatin1Char('.'), Qt::SkipEmptyParts)) {
      firmwareVersionNumbers.append(part.toInt());
    }
  }

  const QStringList hardwareParts =
      descriptorItems.value(QStringLiteral("Hardware")).split(QStringLiteral("rev"), Qt::SkipEmptyParts);
  if (!hardwareParts.isEmpty()) {
    const QStringList numbers = hardwareParts.at(0).split(QLatin1Char('.'));
    hardwareVersionNumbers.append(numbers.value(0).toInt());
    hardwareVersionNumbers.append(numbers.value(1).toInt());
  }
  if (hardwareParts.size() > 1) hardwareVersionNumbers.append(hardwareParts.at(1).toInt());
}

// ---------------------------------------------------------------------------------------------------------------
// Accessors

#define KELVO_DEVICE_GETTER(type, name, expression) \
  type KelvoDevice::name() const {                  \
    std::lock_guard<std::mutex> guard(lock);        \
    return expression;                              \
  }

KELVO_DEVICE_GETTER(KelvoDevice::Descriptor, descriptor, descriptorItems)
KELVO_DEVICE_GETTER(DeviceSettings, settings, settingsRecord)
KELVO_DEVICE_GETTER(TimeRanges, workingTimeRanges, ranges)
KELVO_DEVICE_GETTER(QList<int>, firmwareVersion, firmwareVersionNumbers)
KELVO_DEVICE_GETTER(QList<int>, hardwareVersion, hardwareVersionNumbers)
KELVO_DEVICE_GETTER(bool, isRemoved, removed)
KELVO_DEVICE_GETTER(bool, isAuthorized, authorized)
KELVO_DEVICE_GETTER(bool, isAuthorizationStarted, authorizationStartedFlag)
KELVO_DEVICE_GETTER(bool, isAuthorizationFailed, authorizationFailedFlag)
KELVO_DEVICE_GETTER(bool, isInitialized, initialized)
KELVO_DEVICE_GETTER(int, cardStatus, cardStatusValue)
KELVO_DEVICE_GETTER(int, batteryLevel, batteryLevelValue)
KELVO_DEVICE_GETTER(int, encryptionStatus, encryptionStatusValue)
KELVO_DEVICE_GETTER(int, cardAtrNumber, cardAtrNumberValue)
KELVO_DEVICE_GETTER(int, usbCableStatus, usbCableStatusValue)
KELVO_DEVICE_GETTER(bool, encryptionUsed, encryptionUsedValue)
KELVO_DEVICE_GETTER(int, signalStrength, settingsRecord.signalStrength)
KELVO_DEVICE_GETTER(int, advertisingMode, settingsRecord.advertisingMode)
KELVO_DEVICE_GETTER(int, displayAlwaysEnabled, settingsRecord.displayAlwaysEnabled)
KELVO_DEVICE_GETTER(int, backlightEnabled, settingsRecord.backlightEnabled)
KELVO_DEVICE_GETTER(int, contrastLevel, settingsRecord.contrastLevel)
KELVO_DEVICE_GETTER(int, buzzerEnabled, settingsRecord.buzzerEnabled)
KELVO_DEVICE_GETTER(int, encryptionEnabled, settingsRecord.encryptionEnabled)
KELVO_DEVICE_GETTER(int, coverageRssiMinValue, settingsRecord.coverageRssiMinValue)
KELVO_DEVICE_GETTER(std::shared_ptr<trevalon::Firmware>, availableFirmware, availableFirmwareValue)
KELVO_DEVICE_GETTER(int, updateCheckRetryCount, updateCheckRetries)
KELVO_DEVICE_GETTER(bool, isBatteryNoticeShown, batteryNoticeShown)

#undef KELVO_DEVICE_GETTER
