// SPDX-License-Identifier: Apache-2.0
#include "trevalon/sim/ProviderSim.h"

#include "trevalon/common/ScopeTrace.h"
#include "trevalon/sim/SimulatedRadio.h"

namespace trevalon::sim {

ProviderSim::ProviderSim(std::shared_ptr<SimulatedRadio> radio, ble::Uuid interfaceClass)
    : radio(std::move(radio)), interfaceClass(interfaceClass) {}

void ProviderSim::update() {
  TREVALON_TRACE();
  for (const std::shared_ptr<EmulatedPeripheral>& peripheral : radio->getPeripherals()) {
    bool offers = false;
    for (const GattService& service : peripheral->services()) {
      offers = offers || service.uuid == interfaceClass;
    }
    if (!offers) continue;
    const std::string address = peripheral->address();
    onFound(ble::ProvidedDevice{"/sim/dev_" + address, address, peripheral->name()});
  }
}

}  // namespace trevalon::sim
