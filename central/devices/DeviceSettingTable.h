// SPDX-License-Identifier: Apache-2.0
#pragma once
// The reader's settings in one table: for each its id (the number the reader and the driver use), its field in
// DeviceSettings, the KelvoDevice signal that announces a new value, and its name in the log. The settings
// record, the device model (sending, storing what was sent, following the reader's state) and the setting pages
// all go through this table. A new setting is a row here, a field in DeviceSettings, a change signal and accessor
// in KelvoDevice, and its page.

#include <array>
#include <cstdint>

#include "devices/DeviceSettings.h"

class KelvoDevice;

class DeviceSettingTable {
 public:
  enum Id : int {
    kSignalStrength = 1,
    kAdvertisingMode = 2,
    kDisplayAlwaysEnabled = 3,
    kBacklightEnabled = 4,
    kContrastLevel = 5,
    kBuzzerEnabled = 6,
    kEncryptionEnabled = 7,
    kCoverageRssiMinValue = 8,
  };

  // The coverage is read with the other settings but never sent on its own.
  enum Access : bool { kReadOnly = false, kSendable = true };

  struct Setting {
    int id;
    int32_t DeviceSettings::*field;
    void (KelvoDevice::*changed)(int);
    // As in "Device's Kelvo 5123456789 <logName> setting changed 2".
    const char* logName;
    Access access;
  };
  using Settings = std::array<Setting, DeviceSettings::kCount>;

  // Every setting in id order, which is also the order in which changes are announced.
  static const Settings& all();
  // The setting of an id; nullptr for an id the table does not have.
  static const Setting* find(int id);
};
