// SPDX-License-Identifier: Apache-2.0
#include "kelvo/simulator/scenario/Scenario.h"

#include <algorithm>
#include <cstdlib>

#include "kelvo/simulator/peripheral/OtherPeripheral.h"

namespace kelvo::simulator {

Scenario Scenario::populate(const std::shared_ptr<trevalon::sim::SimulatedRadio>& radio,
                            const std::vector<ScenarioDevice>& devices) {
  Scenario scenario;
  for (const ScenarioDevice& device : devices) {
    std::shared_ptr<trevalon::sim::EmulatedPeripheral> peripheral = scenario.add(device);
    if (radio) radio->addPeripheral(peripheral);
  }
  return scenario;
}

std::shared_ptr<trevalon::sim::EmulatedPeripheral> Scenario::add(const ScenarioDevice& device) {
  std::shared_ptr<trevalon::sim::EmulatedPeripheral> peripheral;
  if (device.family == "bridge") {
    bridgeConfigs.push_back(device.bridge);
    return nullptr;
  }
  if (device.family == "kelvo") {
    auto reader = KelvoReaderEmulator::create(device.reader);
    kelvoReaders.push_back(reader);
    peripheral = reader;
  } else if (device.family == "pentaloq") {
    auto reader = PentaloqReaderEmulator::create(device.pentaloq);
    pentaloqReaders.push_back(reader);
    peripheral = reader;
  } else {
    peripheral = std::make_shared<OtherPeripheral>(device.reader.address, device.reader.name, device.reader.battery);
  }
  all.push_back(peripheral);
  return peripheral;
}

std::shared_ptr<trevalon::sim::EmulatedPeripheral> Scenario::remove(const std::string& address) {
  std::shared_ptr<trevalon::sim::EmulatedPeripheral> removed = peripheral(address);
  if (!removed) return nullptr;
  all.erase(std::remove(all.begin(), all.end(), removed), all.end());
  kelvoReaders.erase(
      std::remove_if(kelvoReaders.begin(), kelvoReaders.end(),
                     [&removed](const std::shared_ptr<KelvoReaderEmulator>& reader) { return reader == removed; }),
      kelvoReaders.end());
  pentaloqReaders.erase(std::remove(pentaloqReaders.begin(), pentaloqReaders.end(), removed), pentaloqReaders.end());
  return removed;
}

std::shared_ptr<trevalon::sim::EmulatedPeripheral> Scenario::peripheral(const std::string& address) const {
  for (const auto& candidate : all) {
    if (candidate->address() == address) return candidate;
  }
  return nullptr;
}

Scenario Scenario::fromFile(const std::shared_ptr<trevalon::sim::SimulatedRadio>& radio, const std::string& path) {
  std::vector<ScenarioDevice> devices = ScenarioLoader::load(path);
  if (radio) radio->setLinkModel(ScenarioLoader::loadLink(path));
  return populate(radio, devices);
}

std::shared_ptr<KelvoReaderEmulator> Scenario::reader(const std::string& address) const {
  for (const auto& reader : kelvoReaders) {
    if (reader->address() == address) return reader;
  }
  return nullptr;
}

}  // namespace kelvo::simulator

namespace kelvo::simulator {

std::shared_ptr<PentaloqReaderEmulator> Scenario::pentaloqReader(const std::string& address) const {
  for (const auto& reader : pentaloqReaders) {
    if (reader->address() == address) return reader;
  }
  return nullptr;
}

}  // namespace kelvo::simulator
