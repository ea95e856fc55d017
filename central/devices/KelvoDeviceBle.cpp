// SPDX-License-Identifier: Apache-2.0
#include "devices/KelvoDeviceBle.h"

#include "devices/DevicePipeClient.h"
#include "devices/DeviceStateRecord.h"

KelvoDeviceBle::KelvoDeviceBle(DevicePipeClient* client, const Descriptor& descriptor, QObject* parent)
    : KelvoDevice(descriptor, parent), client(client) {
  if (client != nullptr) client->setParent(this);
}

bool KelvoDeviceBle::hasTransport() const { return true; }

QString KelvoDeviceBle::driverVersion() {
  QString version;
  if (client == nullptr || !client->getDriverVersion(version)) {
    emit debugMessageLogged(QStringLiteral("Could not get driver version of %1").arg(displayName()));
    return QString();
  }
  return version;
}

void KelvoDeviceBle::requestState() {
  if (client == nullptr) return;
  QByteArray bytes;
  DeviceStateRecord record;
  if (!client->getDeviceState(bytes) || !record.parse(bytes)) {
    removeOnFailure("GetDeviceState");
    return;
  }
  updateDeviceState(record.connected, record.cardStatus, record.batteryLevel, record.encryptionStatus,
                    record.cardAtrNumber, record.usbCableStatus, record.encryptionUsed, record.settings, record.ranges);
}

void KelvoDeviceBle::sendSetting(BYTE setting, BYTE value) {
  if (client == nullptr) return;
  if (client->setSetting(setting, value)) {
    storeSentSetting(setting, value);
  } else {
    removeOnFailure("SetSetting");
  }
}

void KelvoDeviceBle::sendWorkingTimeRanges(TimeRanges ranges) {
  if (client == nullptr) return;
  if (client->setWorkingTimeRanges(ranges)) {
    storeSentWorkingTimeRanges(ranges);
  } else {
    removeOnFailure("SetWorkingTimeRanges");
  }
}

bool KelvoDeviceBle::indicate(quint8 indication, quint8 param1, quint8 param2) {
  if (client == nullptr) return false;
  if (client->indicate(indication, param1, param2)) return true;
  removeOnFailure("Indicate");
  return false;
}

// Asked while the reader may be restarting: a failure only means "not yet".
bool KelvoDeviceBle::readDescriptor(QByteArray& data) {
  bool keyResetNeeded = false;
  return client != nullptr && client->getDeviceDescriptor(data, keyResetNeeded);
}

bool KelvoDeviceBle::transmit(const QByteArray& request, QByteArray& response) {
  if (client == nullptr) return false;
  if (client->transmitRpc(request, response)) return true;
  removeOnFailure("Transmit");
  return false;
}

void KelvoDeviceBle::removeOnFailure(const char* request) {
  emit debugMessageLogged(
      QStringLiteral("Device %1 removed unexpectedly on %2 failure").arg(displayName(), QLatin1String(request)));
  removeDevice();
}
