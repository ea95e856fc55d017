// SPDX-License-Identifier: Apache-2.0
#include "trevalon/sim/RadioSim.h"

#include "trevalon/sim/ProviderBLESim.h"
#include "trevalon/sim/ProviderSim.h"
#include "trevalon/sim/SimulatedRadio.h"

namespace trevalon::sim {

RadioSim::RadioSim(std::shared_ptr<SimulatedRadio> radio) : radio(std::move(radio)) {}

std::shared_ptr<RadioSim::NativeSource> RadioSim::createNativeSource() {
  return std::make_shared<ProviderBLESim>(radio);
}

std::shared_ptr<ble::DeviceEnumeration> RadioSim::createEnumeration(const ble::Uuid& service) {
  return std::make_shared<ProviderSim>(radio, service);
}

}  // namespace trevalon::sim
