// SPDX-License-Identifier: Apache-2.0
#pragma once
// A simulated radio as the radio of a discovery chain: native readers over its peripherals and one enumeration
// of the peripherals per service. Whatever populates the radio (a scenario, a test) keeps doing so through it.

#include <memory>

#include "trevalon/ble/Radio.h"

namespace trevalon::sim {

class SimulatedRadio;

class RadioSim : public ble::Radio {
 public:
  explicit RadioSim(std::shared_ptr<SimulatedRadio> radio);

  std::shared_ptr<NativeSource> createNativeSource() override;
  std::shared_ptr<ble::DeviceEnumeration> createEnumeration(const ble::Uuid& service) override;

  const std::shared_ptr<SimulatedRadio>& air() const { return radio; }

 private:
  const std::shared_ptr<SimulatedRadio> radio;
};

}  // namespace trevalon::sim
