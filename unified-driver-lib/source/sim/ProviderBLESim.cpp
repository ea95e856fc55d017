// SPDX-License-Identifier: Apache-2.0
#include "trevalon/sim/ProviderBLESim.h"

#include "trevalon/common/ScopeTrace.h"
#include "trevalon/sim/BLEReaderSim.h"

namespace trevalon::sim {

ProviderBLESim::ProviderBLESim(std::shared_ptr<SimulatedRadio> radio) : radio(std::move(radio)) {}

std::shared_ptr<ble::BLEReaderNative> ProviderBLESim::translate(const ble::ProvidedDevice& item) {
  TREVALON_TRACE_ARGS(item.path);
  // The address doubles as the identifier, under which the link key is kept.
  return BLEReaderSim::create(radio, item.address, item.address, item.name);
}

}  // namespace trevalon::sim
