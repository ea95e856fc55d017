// SPDX-License-Identifier: Apache-2.0
#pragma once
// The seven device requests of one reader served by the reader driver. Every failure has been reported through
// the client's signals by the time false is returned; the statuses the device manager acts on itself (a reader
// without a usable key, a reader that refused its descriptor) and a reader the driver does not serve are silent.

#include <QByteArray>
#include <QString>
#include <cstdint>

#include "PipeClient.h"
#include "devices/TimeRanges.h"

class DevicePipeClient : public PipeClient {
  Q_OBJECT

 public:
  enum Request : uint8_t {
    kGetDeviceDescriptor = 1,
    kGetDeviceState = 2,
    kSetSetting = 3,
    kSetWorkingTimeRanges = 4,
    kTransmitRpc = 5,
    kIndicate = 6,
    kGetDriverVersion = 16,
  };
  static constexpr int kDeviceStateSize = 44;
  static constexpr uint8_t kStatusKeyResetNeeded = 9;

  explicit DevicePipeClient(const QString& address, QObject* parent = nullptr);

  bool getDeviceDescriptor(QByteArray& descriptor, bool& keyResetNeeded);
  bool getDeviceState(QByteArray& state);
  bool getDriverVersion(QString& version);
  bool indicate(uint8_t indication, uint8_t param1, uint8_t param2);
  bool setSetting(uint8_t id, uint8_t value);
  bool setWorkingTimeRanges(const TimeRanges& ranges);
  bool transmitRpc(const QByteArray& request, QByteArray& response);

  const QString& address() const { return readerAddress; }

 private:
  const QString readerAddress;
};
