// SPDX-License-Identifier: Apache-2.0
#pragma once
// The bottom of the discovery chain on BlueZ: every poll reads BlueZ's objects and reports each Device1 whose
// UUIDs hold the given service, keyed by its object path, with its address in the library's form and its
// name. A failed read of the objects ends that poll; the next one tries again.

#include <memory>
#include <mutex>

#include "trevalon/ble/DeviceEnumeration.h"
#include "trevalon/ble/ProvidedDevice.h"
#include "trevalon/ble/Uuid.h"

namespace trevalon::bluez {

class BlueZCaller;

class ProviderBlueZ : public ble::DeviceEnumeration {
 public:
  explicit ProviderBlueZ(ble::Uuid interfaceClass);
  ~ProviderBlueZ() override;

 protected:
  void update() override;

 private:
  std::shared_ptr<BlueZCaller> reachBus();

  const ble::Uuid interfaceClass;
  std::mutex callerLock;
  std::shared_ptr<BlueZCaller> caller;
};

}  // namespace trevalon::bluez
