// SPDX-License-Identifier: Apache-2.0
#pragma once
// The bottom of the simulated discovery chain: every poll reports each peripheral on the radio that offers
// the given service, as the platform's enumeration reports the device interfaces of a class.

#include <memory>

#include "trevalon/ble/DeviceEnumeration.h"
#include "trevalon/ble/ProvidedDevice.h"
#include "trevalon/ble/Uuid.h"

namespace trevalon::sim {

class SimulatedRadio;

class ProviderSim : public ble::DeviceEnumeration {
 public:
  ProviderSim(std::shared_ptr<SimulatedRadio> radio, ble::Uuid interfaceClass);

 protected:
  void update() override;

 private:
  const std::shared_ptr<SimulatedRadio> radio;
  const ble::Uuid interfaceClass;
};

}  // namespace trevalon::sim
