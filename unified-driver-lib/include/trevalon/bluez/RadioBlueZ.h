// SPDX-License-Identifier: Apache-2.0
#pragma once
// BlueZ on the system bus (DBUS_SYSTEM_BUS_ADDRESS moves it) as the radio of a discovery chain: native readers
// over BlueZ's device objects and one enumeration of BlueZ's objects per service.

#include <memory>

#include "trevalon/ble/Radio.h"

namespace trevalon::bluez {

class BLEConnectionBlueZ;

class RadioBlueZ : public ble::Radio {
 public:
  // Throws ble::BackendError when the bus cannot be reached.
  static std::unique_ptr<RadioBlueZ> create();

  std::shared_ptr<NativeSource> createNativeSource() override;
  std::shared_ptr<ble::DeviceEnumeration> createEnumeration(const ble::Uuid& service) override;

 private:
  explicit RadioBlueZ(std::shared_ptr<BLEConnectionBlueZ> watcher);

  // The bus watcher, which also owns the threads that follow BlueZ's signals.
  const std::shared_ptr<BLEConnectionBlueZ> watcher;
};

}  // namespace trevalon::bluez
