// SPDX-License-Identifier: Apache-2.0
#include "bridge/KelvoDongle.h"

#include <QMutexLocker>
#include <QTimerEvent>

#include <algorithm>
#include <map>

#include "ApplicationSettings.h"
#include "bridge/kelvoctl/kelvoctl.h"

namespace {

constexpr int kTextBuffer = 64;
constexpr int kRpcBuffer = 1024;
constexpr char kGetDeviceDescriptor = 1;

QString failure(const char* function, int code) {
  return QStringLiteral("Failed %1 with error: %2").arg(QLatin1String(function)).arg(code);
}

}  // namespace

KelvoDongle::KelvoDongle(QObject* parent) : QObject(parent) {
  qRegisterMetaType<DeviceInfo>("DeviceInfo");
  qRegisterMetaType<QList<DeviceInfo>>("QList<DeviceInfo>");
  connect(this, &KelvoDongle::scanDevicesRequested, this, &KelvoDongle::scanDevices);
  connect(this, &KelvoDongle::connectDeviceRequested, this, &KelvoDongle::connectDevice);
  connect(this, &KelvoDongle::sendPasskeyRequested, this, &KelvoDongle::sendPasskey);
  connect(this, &KelvoDongle::abortPairingRequested, this, &KelvoDongle::abortPairing);
  connect(this, &KelvoDongle::changeNameRequested, this, &KelvoDongle::changeName);
  connect(this, &KelvoDongle::queryPairedDevicesRequested, this, &KelvoDongle::queryPairedDevices);
  // Started in the thread the dongle is moved to, once it runs there.
  QMetaObject::invokeMethod(
      this, [this] { pollTimerId = startTimer(kPollMs); }, Qt::QueuedConnection);
}

KelvoDongle::~KelvoDongle() {
  QMutexLocker guard(&lock);
  if (handle != nullptr) kelvoctl_close(handle);
}

void KelvoDongle::requestScan() { emit scanDevicesRequested(); }
void KelvoDongle::requestConnection(const DeviceInfo& device) { emit connectDeviceRequested(device); }
void KelvoDongle::requestPairing(uint passkey) { emit sendPasskeyRequested(passkey); }
void KelvoDongle::requestPairingAbort() { emit abortPairingRequested(); }
void KelvoDongle::requestNameChange(const QString& name) { emit changeNameRequested(name); }
void KelvoDongle::requestPairedDevices() { emit queryPairedDevicesRequested(); }
void KelvoDongle::requestReset() { resetPending = true; }

bool KelvoDongle::isOpen() const {
  QMutexLocker guard(&lock);
  return handle != nullptr;
}

QString KelvoDongle::name() const {
  QMutexLocker guard(&lock);
  return dongleName;
}

QString KelvoDongle::serial() const {
  QMutexLocker guard(&lock);
  return dongleSerial;
}

QString KelvoDongle::version() const {
  QMutexLocker guard(&lock);
  return dongleVersion;
}

void KelvoDongle::timerEvent(QTimerEvent* event) {
  if (event->timerId() == pollTimerId) {
    poll();
  } else {
    QObject::timerEvent(event);
  }
}

void KelvoDongle::poll() {
  QMutexLocker guard(&lock);
  if (handle == nullptr && !open()) return;
  quint16 status = 0;
  quint16 connection = 0;
  const bool queried = kelvoctl_get_status(handle, &status, &connection) == KELVOCTL_OK;
  const bool reset = resetPending;
  if (deviceAnnounced && (!queried || connection != connectionId || reset)) withdrawDevice();
  if (reset) {
    const int result = kelvoctl_hard_reset(handle);
    emit debugMessageLogged(result == KELVOCTL_OK ? QStringLiteral("Resetted dongle with name: %1").arg(dongleName)
                                                  : failure("kelvoctl_hard_reset", result));
  }
  if (!queried || reset) {
    close();
    return;
  }
  if (status & KELVOCTL_STATUS_PAIRING_REQUIRED) {
    emit connectionPairingRequired();
  } else if ((status & KELVOCTL_STATUS_CONNECTED_A) == 0 || (status & KELVOCTL_STATUS_CONNECTED_B) == 0) {
    if (deviceAnnounced) withdrawDevice();
  } else if (!deviceAnnounced) {
    announceDevice(connection);
    if (deviceAnnounced) return;
  }
  connectionId = connection;
}

bool KelvoDongle::open() {
  handle = kelvoctl_open();
  if (handle == nullptr) return false;
  resetPending = false;
  char text[kTextBuffer] = {};
  int result = kelvoctl_get_device_name(handle, text, sizeof text);
  dongleName = result == KELVOCTL_OK ? QString::fromLocal8Bit(text) : QString();
  if (result != KELVOCTL_OK) emit debugMessageLogged(failure("kelvoctl_get_device_name", result));
  result = kelvoctl_get_serial(handle, text, sizeof text);
  dongleSerial = result == KELVOCTL_OK ? QString::fromLocal8Bit(text) : QString();
  if (result != KELVOCTL_OK) emit debugMessageLogged(failure("kelvoctl_get_serial", result));
  result = kelvoctl_get_version(handle, text, sizeof text);
  dongleVersion = result == KELVOCTL_OK ? QString::fromLocal8Bit(text) : QString();
  if (result != KELVOCTL_OK) emit debugMessageLogged(failure("kelvoctl_get_version", result));
  emit debugMessageLogged(QStringLiteral("Connected to dongle with name: %1").arg(dongleName));
  emit activated();
  return true;
}

void KelvoDongle::withdrawDevice() {
  if (!descriptor.isEmpty()) emit deviceRemoved(descriptor);
  deviceAnnounced = false;
}

void KelvoDongle::close() {
  kelvoctl_close(handle);
  handle = nullptr;
  resetPending = false;
  connectionId = 0;
  emit debugMessageLogged(QStringLiteral("Disconnected from dongle with name: %1").arg(dongleName));
  emit deactivated();
}

// The connected reader's descriptor, read through the relay, announces it.
void KelvoDongle::announceDevice(quint16 connection) {
  QByteArray response;
  if (transmit(QByteArray(1, kGetDeviceDescriptor), response) && response.size() > 1 && response.at(0) == 0) {
    descriptor = response.mid(1);
    emit deviceCreated(descriptor);
    deviceAnnounced = true;
    connectionId = connection;
    return;
  }
  emit debugMessageLogged(QStringLiteral("Failed to get dongle device descriptor"));
}

void KelvoDongle::scanDevices() {
  QMutexLocker guard(&lock);
  if (handle == nullptr) return;
  std::map<quint64, DeviceInfo> seen;  // by address, so the list comes out in ascending address order
  kelvoctl_search(
      handle,
      [](const kelvoctl_search_record* record, void* context) {
        auto& devices = *static_cast<std::map<quint64, DeviceInfo>*>(context);
        const DeviceInfo report(QString(), record->address, record->has_kelvo_service != 0);
        const quint64 key = (static_cast<quint64>(report.addressHigh) << 32) | report.addressLow;
        auto found = devices.find(key);
        if (found == devices.end()) found = devices.emplace(key, report).first;
        if (record->has_name) found->second.name = QString::fromLocal8Bit(record->name);
        found->second.hasKelvoService = found->second.hasKelvoService || record->has_kelvo_service != 0;
      },
      &seen);
  QList<DeviceInfo> readers;
  for (const auto& entry : seen) {
    if (entry.second.hasKelvoService) readers.append(entry.second);
  }
  emit scanFinished(readers);
}

void KelvoDongle::connectDevice(const DeviceInfo& device) {
  QMutexLocker guard(&lock);
  if (!device.name.isEmpty()) ApplicationSettings::setDeviceName(device.addressText(), device.name);
  uint8_t address[DeviceInfo::kAddressBytes];
  device.addressBytes(address);
  const int result = handle == nullptr ? KELVOCTL_INVALID_ARGUMENT : kelvoctl_select_device(handle, address);
  if (result == KELVOCTL_OK) {
    emit connectionSucceeded();
  } else if (result == KELVOCTL_PAIRING_REQUIRED) {
    emit connectionPairingRequired();
  } else {
    emit debugMessageLogged(failure("kelvoctl_select_device", result));
    emit connectionFailed();
  }
}

void KelvoDongle::sendPasskey(uint passkey) {
  QMutexLocker guard(&lock);
  const int result = handle == nullptr ? KELVOCTL_INVALID_ARGUMENT : kelvoctl_send_passkey(handle, passkey);
  if (result == KELVOCTL_OK) {
    emit pairingSucceeded();
    return;
  }
  emit debugMessageLogged(failure("kelvoctl_send_passkey", result));
  emit pairingFailed();
}

void KelvoDongle::abortPairing() {
  QMutexLocker guard(&lock);
  const int result = handle == nullptr ? KELVOCTL_INVALID_ARGUMENT : kelvoctl_abort_pair(handle);
  if (result != KELVOCTL_OK) emit debugMessageLogged(failure("kelvoctl_abort_pair", result));
  emit pairingAborted();
}

void KelvoDongle::changeName(const QString& name) {
  QMutexLocker guard(&lock);
  const QByteArray text = name.toLocal8Bit();
  const int result =
      handle == nullptr ? KELVOCTL_INVALID_ARGUMENT : kelvoctl_store_device_name(handle, text.constData());
  if (result != KELVOCTL_OK) {
    emit debugMessageLogged(failure("kelvoctl_store_device_name", result));
    emit changeNameFailed();
    return;
  }
  dongleName = name;
  emit debugMessageLogged(QStringLiteral("Dongle renamed: %1").arg(name));
  emit changeNameSucceeded(name);
}

void KelvoDongle::queryPairedDevices() {
  QMutexLocker guard(&lock);
  QList<DeviceInfo> devices;
  const int result = handle == nullptr
                         ? KELVOCTL_INVALID_ARGUMENT
                         : kelvoctl_get_paired_devs(
                               handle,
                               [](const uint8_t address[6], void* context) {
                                 static_cast<QList<DeviceInfo>*>(context)->append(DeviceInfo(QString(), address, true));
                               },
                               &devices);
  if (result != KELVOCTL_OK) emit debugMessageLogged(failure("kelvoctl_get_paired_devs", result));
  for (DeviceInfo& device : devices) {
    const QString stored = ApplicationSettings::deviceName(device.addressText());
    device.name = stored.isEmpty() ? QStringLiteral("Kelvo ") + device.addressText() : stored;
  }
  emit queryPairedDevicesFinished(devices);
}

bool KelvoDongle::sendIndication(quint8 indication, quint8 param1, quint8 param2) {
  QMutexLocker guard(&lock);
  if (handle == nullptr) return false;
  const uint8_t bytes[3] = {indication, param1, param2};
  const int result = kelvoctl_send_indication(handle, bytes, sizeof bytes);
  if (result == KELVOCTL_OK) return true;
  emit verboseMessageLogged(failure("kelvoctl_send_indication", result));
  return false;
}

bool KelvoDongle::transmit(const QByteArray& request, QByteArray& response) {
  if (request.isEmpty()) {
    emit errorOccurred(QStringLiteral("Rpc request must not be empty"));
    return false;
  }
  QMutexLocker guard(&lock);
  if (handle == nullptr) return false;
  uint8_t buffer[kRpcBuffer];
  size_t length = sizeof buffer;
  const int result = kelvoctl_send_rpc(handle, reinterpret_cast<const uint8_t*>(request.constData()),
                                       static_cast<size_t>(request.size()), buffer, &length);
  if (result != KELVOCTL_OK) {
    emit verboseMessageLogged(failure("kelvoctl_send_rpc", result));
    return false;
  }
  response = QByteArray(reinterpret_cast<const char*>(buffer), static_cast<int>(length));
  return true;
}
