// SPDX-License-Identifier: Apache-2.0
#include "DevicePipeClient.h"

namespace {

constexpr uint8_t kStatusSuccess = 0;
constexpr uint8_t kStatusReaderError = 1;

}  // namespace

DevicePipeClient::DevicePipeClient(const QString& address, QObject* parent)
    : PipeClient(QStringLiteral("kelvo_%1").arg(address.toLower()), parent), readerAddress(address) {}

bool DevicePipeClient::getDeviceDescriptor(QByteArray& descriptor, bool& keyResetNeeded) {
  keyResetNeeded = false;
  uint8_t status = 0;
  if (!exchange(kGetDeviceDescriptor, status, descriptor)) return false;
  if (status == kStatusSuccess) return true;
  if (status == kStatusKeyResetNeeded) {
    keyResetNeeded = true;
    return false;
  }
  if (status != kStatusReaderError) {
    emit debugMessageLogged(QStringLiteral("GetDeviceDescriptor failed with error %1").arg(int{status}));
  }
  return false;
}

bool DevicePipeClient::getDeviceState(QByteArray& state) {
  uint8_t status = 0;
  QByteArray record;
  if (!exchange(kGetDeviceState, status, record)) return false;
  if (status != kStatusSuccess) {
    emit debugMessageLogged(QStringLiteral("GetDeviceState failed with error %1").arg(int{status}));
    return false;
  }
  if (record.size() != kDeviceStateSize) {
    emit errorOccurred(QStringLiteral("GetDeviceState returns state with invalid size (expected=%1, received=%2)")
                           .arg(kDeviceStateSize)
                           .arg(record.size()));
    return false;
  }
  state = record;
  return true;
}

bool DevicePipeClient::getDriverVersion(QString& version) {
  uint8_t status = 0;
  QByteArray text;
  if (!exchange(kGetDriverVersion, status, text) || status != kStatusSuccess) return false;
  version = QString::fromUtf8(text);
  return true;
}

bool DevicePipeClient::indicate(uint8_t indication, uint8_t param1, uint8_t param2) {
  uint8_t status = 0;
  QByteArray request;
  for (uint8_t byte : {indication, param1, param2}) request.append(static_cast<char>(byte));
  if (!exchange(kIndicate, request, status)) return false;
  if (status != kStatusSuccess) {
    emit debugMessageLogged(QStringLiteral("Indicate failed with error %1").arg(int{status}));
    return false;
  }
  return true;
}

bool DevicePipeClient::setSetting(uint8_t id, uint8_t value) {
  uint8_t status = 0;
  QByteArray request;
  request.append(static_cast<char>(id));
  request.append(static_cast<char>(value));
  if (!exchange(kSetSetting, request, status)) return false;
  if (status != kStatusSuccess) {
    emit debugMessageLogged(QStringLiteral("SetSetting with id %1 and value %2 failed with error %3")
                                .arg(int{id})
                                .arg(int{value})
                                .arg(int{status}));
    return false;
  }
  return true;
}

bool DevicePipeClient::setWorkingTimeRanges(const TimeRanges& ranges) {
  uint8_t status = 0;
  if (!exchange(kSetWorkingTimeRanges, ranges.toRecord(), status)) return false;
  if (status != kStatusSuccess) {
    emit debugMessageLogged(QStringLiteral("SetWorkingTimeRanges failed with error %1").arg(int{status}));
    return false;
  }
  return true;
}

bool DevicePipeClient::transmitRpc(const QByteArray& request, QByteArray& response) {
  uint8_t status = 0;
  if (!exchange(kTransmitRpc, request, status, response)) return false;
  if (status != kStatusSuccess) {
    const QChar method = request.isEmpty() ? QChar() : QChar(static_cast<uint8_t>(request.at(0)));
    emit debugMessageLogged(QStringLiteral("TransmitRpc '%2' failed with error %1").arg(int{status}).arg(method));
    return false;
  }
  return true;
}
