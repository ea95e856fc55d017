// SPDX-License-Identifier: Apache-2.0
#include "devices/DeviceSettings.h"

#include "devices/DeviceSettingTable.h"

int32_t* DeviceSettings::fieldOf(int id) {
  const DeviceSettingTable::Setting* setting = DeviceSettingTable::find(id);
  return setting == nullptr ? nullptr : &(this->*setting->field);
}

int32_t DeviceSettings::valueOf(int id) const {
  const DeviceSettingTable::Setting* setting = DeviceSettingTable::find(id);
  return setting == nullptr ? kUnknown : this->*setting->field;
}

bool DeviceSettings::operator==(const DeviceSettings& other) const {
  for (const DeviceSettingTable::Setting& setting : DeviceSettingTable::all()) {
    if (this->*setting.field != other.*setting.field) return false;
  }
  return true;
}
