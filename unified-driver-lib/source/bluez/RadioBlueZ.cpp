// SPDX-License-Identifier: Apache-2.0
#include "trevalon/bluez/RadioBlueZ.h"

#include "trevalon/ble/BackendError.h"
#include "trevalon/bluez/BLEConnectionBlueZ.h"
#include "trevalon/bluez/ProviderBLEBlueZ.h"
#include "trevalon/bluez/ProviderBlueZ.h"

namespace trevalon::bluez {

std::unique_ptr<RadioBlueZ> RadioBlueZ::create() {
  std::shared_ptr<BLEConnectionBlueZ> watcher = BLEConnectionBlueZ::create();
  if (!watcher) throw ble::BackendError("BlueZ cannot be reached on the system bus");
  return std::unique_ptr<RadioBlueZ>(new RadioBlueZ(std::move(watcher)));
}

RadioBlueZ::RadioBlueZ(std::shared_ptr<BLEConnectionBlueZ> watcher) : watcher(std::move(watcher)) {}

std::shared_ptr<RadioBlueZ::NativeSource> RadioBlueZ::createNativeSource() {
  return std::make_shared<ProviderBLEBlueZ>(watcher);
}

std::shared_ptr<ble::DeviceEnumeration> RadioBlueZ::createEnumeration(const ble::Uuid& service) {
  return std::make_shared<ProviderBlueZ>(service);
}

}  // namespace trevalon::bluez
