// SPDX-License-Identifier: Apache-2.0
#pragma once
// The devices of a scenario, built and placed on a simulated radio.

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "kelvo/simulator/kelvo/KelvoReaderEmulator.h"
#include "kelvo/simulator/pentaloq/PentaloqReaderEmulator.h"
#include "kelvo/simulator/scenario/ScenarioLoader.h"
#include "trevalon/sim/SimulatedRadio.h"

namespace kelvo::simulator {

class Scenario {
 public:
  static Scenario populate(const std::shared_ptr<trevalon::sim::SimulatedRadio>& radio,
                           const std::vector<ScenarioDevice>& devices);
  // Loads the file and populates the radio; throws ScenarioError.
  static Scenario fromFile(const std::shared_ptr<trevalon::sim::SimulatedRadio>& radio, const std::string& path);

  // Builds the device and keeps it; placing it on a radio is the caller's business. A Bridge is kept as its
  // configuration (bridges()) and gives no peripheral.
  std::shared_ptr<trevalon::sim::EmulatedPeripheral> add(const ScenarioDevice& device);
  // Forgets the device; the caller takes it off its radio. Null when the address is unknown.
  std::shared_ptr<trevalon::sim::EmulatedPeripheral> remove(const std::string& address);
  std::shared_ptr<trevalon::sim::EmulatedPeripheral> peripheral(const std::string& address) const;

  const std::vector<std::shared_ptr<KelvoReaderEmulator>>& readers() const { return kelvoReaders; }
  const std::vector<std::shared_ptr<trevalon::sim::EmulatedPeripheral>>& peripherals() const { return all; }
  std::shared_ptr<KelvoReaderEmulator> reader(const std::string& address) const;
  const std::vector<std::shared_ptr<PentaloqReaderEmulator>>& pentaloqs() const { return pentaloqReaders; }
  std::shared_ptr<PentaloqReaderEmulator> pentaloqReader(const std::string& address) const;
  // The Bridge dongles of the scenario; kelvo-sim-bridge puts them on the emulated USB bus.
  const std::vector<BridgeConfig>& bridges() const { return bridgeConfigs; }

 private:
  std::vector<std::shared_ptr<KelvoReaderEmulator>> kelvoReaders;
  std::vector<std::shared_ptr<PentaloqReaderEmulator>> pentaloqReaders;
  std::vector<std::shared_ptr<trevalon::sim::EmulatedPeripheral>> all;
  std::vector<BridgeConfig> bridgeConfigs;
};

}  // namespace kelvo::simulator
