// SPDX-License-Identifier: Apache-2.0
#include "devices/DeviceSettingTable.h"

#include "devices/KelvoDevice.h"

namespace {

using Table = DeviceSettingTable;

constexpr Table::Settings kSettings{{
    {Table::kSignalStrength, &DeviceSettings::signalStrength, &KelvoDevice::signalStrengthChanged, "signal strength",
     Table::kSendable},
    {Table::kAdvertisingMode, &DeviceSettings::advertisingMode, &KelvoDevice::advertisingModeChanged,
     "advertising mode", Table::kSendable},
    {Table::kDisplayAlwaysEnabled, &DeviceSettings::displayAlwaysEnabled, &KelvoDevice::displayAlwaysEnabledChanged,
     "display always enabled", Table::kSendable},
    {Table::kBacklightEnabled, &DeviceSettings::backlightEnabled, &KelvoDevice::backlightEnabledChanged,
     "backlight enabled", Table::kSendable},
    {Table::kContrastLevel, &DeviceSettings::contrastLevel, &KelvoDevice::contrastLevelChanged, "contrast level",
     Table::kSendable},
    {Table::kBuzzerEnabled, &DeviceSettings::buzzerEnabled, &KelvoDevice::buzzerEnabledChanged, "buzzer enabled",
     Table::kSendable},
    {Table::kEncryptionEnabled, &DeviceSettings::encryptionEnabled, &KelvoDevice::encryptionEnabledChanged,
     "encryption enabled", Table::kSendable},
    {Table::kCoverageRssiMinValue, &DeviceSettings::coverageRssiMinValue, &KelvoDevice::coverageRssiMinValueChanged,
     "coverage", Table::kReadOnly},
}};

// A row left out leaves a zeroed row (id 0) at the end; find() relies on row n holding id n + 1.
constexpr bool eachIdInItsRow() {
  for (int row = 0; row < DeviceSettings::kCount; ++row) {
    if (kSettings[row].id != row + 1) return false;
  }
  return true;
}
static_assert(eachIdInItsRow(), "every setting id from 1 has its row, in id order");

}  // namespace

const DeviceSettingTable::Settings& DeviceSettingTable::all() { return kSettings; }

const DeviceSettingTable::Setting* DeviceSettingTable::find(int id) {
  if (id < 1 || id > DeviceSettings::kCount) return nullptr;
  return &kSettings[id - 1];
}
