// SPDX-License-Identifier: Apache-2.0
#pragma once
// What a backend brings to the discovery chain: the provider of native readers at its bottom and an enumeration
// of the devices that offer a service. BlueZ is one radio; a program may register others (the simulated radio of
// the emulated world) with the RadioRegistry. The Backend tears the chain down before it lets the radio go.

#include <memory>

#include "trevalon/ble/BLEReaderNative.h"
#include "trevalon/ble/DeviceEnumeration.h"
#include "trevalon/ble/ProvidedDevice.h"
#include "trevalon/ble/Uuid.h"
#include "trevalon/common/Provider.h"
#include "trevalon/common/Translator.h"

namespace trevalon::ble {

class Radio {
 public:
  // Turns the devices enumerated into native readers, and lists the readers it has made.
  using NativeSource = common::Translator<Provider<ProvidedDevice>, Provider<std::shared_ptr<BLEReaderNative>>>;

  virtual ~Radio() = default;

  virtual std::shared_ptr<NativeSource> createNativeSource() = 0;
  virtual std::shared_ptr<DeviceEnumeration> createEnumeration(const Uuid& service) = 0;
};

}  // namespace trevalon::ble
