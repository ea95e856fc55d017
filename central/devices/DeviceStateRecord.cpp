// SPDX-License-Identifier: Apache-2.0
#include "devices/DeviceStateRecord.h"

#include <cstdint>

namespace {

constexpr int kConnected = 0;
constexpr int kCardStatus = 1;
constexpr int kBatteryLevel = 2;
constexpr int kEncryptionStatus = 3;
constexpr int kCardAtrNumber = 4;
constexpr int kUsbCableStatus = 6;
constexpr int kEncryptionUsed = 7;
constexpr int kFirstSetting = 8;
constexpr int kCoverageSetting = 15;
constexpr int kFirstRange = 16;

int unsignedByte(const QByteArray& record, int offset) { return static_cast<uint8_t>(record[offset]); }

int16_t signedShort(const QByteArray& record, int offset) {
  return static_cast<int16_t>(static_cast<uint16_t>(unsignedByte(record, offset)) |
                              static_cast<uint16_t>(unsignedByte(record, offset + 1) << 8));
}

}  // namespace

bool DeviceStateRecord::parse(const QByteArray& record) {
  if (record.size() != kSize) return false;
  connected = unsignedByte(record, kConnected) == 1;
  cardStatus = unsignedByte(record, kCardStatus);
  batteryLevel = unsignedByte(record, kBatteryLevel);
  encryptionStatus = unsignedByte(record, kEncryptionStatus);
  cardAtrNumber = static_cast<uint16_t>(signedShort(record, kCardAtrNumber));
  usbCableStatus = unsignedByte(record, kUsbCableStatus);
  encryptionUsed = unsignedByte(record, kEncryptionUsed) != 0;
  for (int id = 1; id < DeviceSettings::kCount; ++id) {
    *settings.fieldOf(id) = unsignedByte(record, kFirstSetting + id - 1);
  }
  // The coverage is an RSSI in dBm, the one signed setting.
  const int coverage = static_cast<uint8_t>(record[kCoverageSetting]);
  settings.coverageRssiMinValue = coverage < 0x80 ? coverage : coverage - 0x100;
  for (int i = 0; i < TimeRanges::kEntries; ++i) {
    ranges.ranges[i].start = signedShort(record, kFirstRange + 4 * i);
    ranges.ranges[i].end = signedShort(record, kFirstRange + 4 * i + 2);
  }
  return true;
}
