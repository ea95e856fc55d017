// SPDX-License-Identifier: Apache-2.0
#include "devices/KelvoDeviceUDA.h"

#include <vector>

#include "devices/DeviceStateRecord.h"
#include "trevalon/Device.h"
#include "trevalon/classic/DevicePipe.h"

using trevalon::classic::DevicePipe;

namespace {

std::vector<uint8_t> bytesOf(const QByteArray& bytes) { return std::vector<uint8_t>(bytes.cbegin(), bytes.cend()); }

}  // namespace

KelvoDeviceUDA::KelvoDeviceUDA(std::shared_ptr<trevalon::Device> libraryDevice, const Descriptor& descriptor,
                               QObject* parent)
    : KelvoDevice(descriptor, parent),
      device(std::move(libraryDevice)),
      deviceAddress(device ? QString::fromStdString(device->getAddress()) : QString()) {}

KelvoDeviceUDA::~KelvoDeviceUDA() = default;

bool KelvoDeviceUDA::hasTransport() const { return true; }

void KelvoDeviceUDA::requestState() {
  if (!device) return;
  std::vector<uint8_t> bytes;
  if (DevicePipe::InvokeGetDeviceState(device, bytes) != DevicePipe::kSuccess) {
    removeOnFailure("GetDeviceState");
    return;
  }
  DeviceStateRecord record;
  if (!record.parse(QByteArray(reinterpret_cast<const char*>(bytes.data()), static_cast<int>(bytes.size())))) {
    emit errorOccurred(QStringLiteral("GetDeviceState returns state with invalid size (expected=%1, received=%2)")
                           .arg(DeviceStateRecord::kSize)
                           .arg(bytes.size()));
    return;
  }
  updateDeviceState(record.connected, record.cardStatus, record.batteryLevel, record.encryptionStatus,
                    record.cardAtrNumber, record.usbCableStatus, record.encryptionUsed, record.settings, record.ranges);
}

void KelvoDeviceUDA::sendSetting(BYTE setting, BYTE value) {
  if (!device) return;
  if (DevicePipe::InvokeSetSetting(device, {setting, value}) == DevicePipe::kSuccess) {
    storeSentSetting(setting, value);
  } else {
    removeOnFailure("SetSetting");
  }
}

void KelvoDeviceUDA::sendWorkingTimeRanges(TimeRanges ranges) {
  if (!device) return;
  if (DevicePipe::InvokeSetWorkingTimeRanges(device, bytesOf(ranges.toRecord())) == DevicePipe::kSuccess) {
    storeSentWorkingTimeRanges(ranges);
  } else {
    removeOnFailure("SetWorkingTimeRanges");
  }
}

bool KelvoDeviceUDA::indicate(quint8 indication, quint8 param1, quint8 param2) {
  if (!device) return false;
  if (DevicePipe::InvokeIndicate(device, {indication, param1, param2}) == DevicePipe::kSuccess) return true;
  removeOnFailure("Indicate");
  return false;
}

bool KelvoDeviceUDA::transmit(const QByteArray& request, QByteArray& response) {
  if (!device) return false;
  std::vector<uint8_t> answer;
  if (DevicePipe::InvokeTransmitRpc(device, bytesOf(request), answer) != DevicePipe::kSuccess) {
    removeOnFailure("Transmit");
    return false;
  }
  response = QByteArray(reinterpret_cast<const char*>(answer.data()), static_cast<int>(answer.size()));
  return true;
}

// Asked while the reader may be restarting: a failure only means "not yet".
bool KelvoDeviceUDA::readDescriptor(QByteArray& data) {
  if (!device) return false;
  std::vector<uint8_t> bytes;
  if (DevicePipe::InvokeGetDeviceDescriptor(device, bytes) != DevicePipe::kSuccess) return false;
  data = QByteArray(reinterpret_cast<const char*>(bytes.data()), static_cast<int>(bytes.size()));
  return true;
}

void KelvoDeviceUDA::removeOnFailure(const char* request) {
  emit debugMessageLogged(
      QStringLiteral("Device %1 removed unexpectedly on %2 failure").arg(displayName(), QLatin1String(request)));
  removeDevice();
}
