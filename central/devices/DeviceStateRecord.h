// SPDX-License-Identifier: Apache-2.0
#pragma once
// The 44-byte state of a reader as the driver and the in-process requests report it: connection, card, battery,
// encryption, USB cable, the eight settings and the seven working-time ranges (little-endian throughout).

#include <QByteArray>

#include "devices/DeviceSettings.h"
#include "devices/TimeRanges.h"

class DeviceStateRecord {
 public:
  static constexpr int kSize = 44;

  // False when the record is not exactly kSize bytes; the fields then keep their defaults.
  bool parse(const QByteArray& record);

  bool connected = false;
  int cardStatus = 0;
  int batteryLevel = 0;
  int encryptionStatus = 0;
  int cardAtrNumber = 0;
  int usbCableStatus = 0;
  bool encryptionUsed = false;
  DeviceSettings settings;
  TimeRanges ranges;
};
