// SPDX-License-Identifier: Apache-2.0
#pragma once
// A reader's eight settings as the application keeps them, each -1 until the reader has told it. Their ids, and
// which of them the application sends, are in DeviceSettingTable.

#include <QMetaType>
#include <cstdint>

struct DeviceSettings {
  static constexpr int32_t kUnknown = -1;
  static constexpr int kCount = 8;
  static constexpr int32_t kDefaultCoverageRssiMinValue = 127;

  int32_t signalStrength = kUnknown;
  int32_t advertisingMode = kUnknown;
  int32_t displayAlwaysEnabled = kUnknown;
  int32_t backlightEnabled = kUnknown;
  int32_t contrastLevel = kUnknown;
  int32_t buzzerEnabled = kUnknown;
  int32_t encryptionEnabled = kUnknown;
  int32_t coverageRssiMinValue = kUnknown;

  // The field of setting id (1 to 8); nullptr for any other id.
  int32_t* fieldOf(int id);
  // The value of setting id; kUnknown for an id that is not a setting.
  int32_t valueOf(int id) const;

  bool operator==(const DeviceSettings& other) const;
  bool operator!=(const DeviceSettings& other) const { return !(*this == other); }
};

Q_DECLARE_METATYPE(DeviceSettings)
