// SPDX-License-Identifier: Apache-2.0
#pragma once
// Turns each device interface found on the simulated radio into a native reader.

#include <memory>

#include "trevalon/ble/BLEReaderNative.h"
#include "trevalon/ble/ProvidedDevice.h"
#include "trevalon/common/ProviderTranslator.h"

namespace trevalon::sim {

class SimulatedRadio;

class ProviderBLESim
    : public common::Translator<Provider<ble::ProvidedDevice>, Provider<std::shared_ptr<ble::BLEReaderNative>>> {
 public:
  explicit ProviderBLESim(std::shared_ptr<SimulatedRadio> radio);

  std::shared_ptr<ble::BLEReaderNative> translate(const ble::ProvidedDevice& item) override;

 private:
  const std::shared_ptr<SimulatedRadio> radio;
};

}  // namespace trevalon::sim
