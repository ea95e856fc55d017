// SPDX-License-Identifier: Apache-2.0
#pragma once
// Turns each reader device BlueZ offers into a native reader that watches its links through the given watcher.

#include <memory>

#include "trevalon/ble/BLEReaderNative.h"
#include "trevalon/ble/ProvidedDevice.h"
#include "trevalon/common/ProviderTranslator.h"

namespace trevalon::bluez {

class BLEConnectionBlueZ;

class ProviderBLEBlueZ
    : public common::Translator<Provider<ble::ProvidedDevice>, Provider<std::shared_ptr<ble::BLEReaderNative>>> {
 public:
  // The readers hold the watcher weakly: its owner decides when its threads stop.
  explicit ProviderBLEBlueZ(const std::shared_ptr<BLEConnectionBlueZ>& watcher);

  std::shared_ptr<ble::BLEReaderNative> translate(const ble::ProvidedDevice& item) override;
  // A device BlueZ no longer has: its reader is retired before the layers above hear of the loss.
  void onLost(const ble::ProvidedDevice& item) override;

 private:
  const std::weak_ptr<BLEConnectionBlueZ> watcher;
};

}  // namespace trevalon::bluez
