#include "kelvo/simulator/Scenario.h"

#include <cstdlib>

#include "kelvo/simulator/OtherPeripheral.h"

namespace kelvo::simulator {

Scenario Scenario::populate(const std::shared_ptr<trevalon::sim::SimulatedRadio>& radio,
                            const std::vector<ScenarioDevice>& devices) {
  Scenario scenario;
  for (const ScenarioDevice& device : devices) {
    std::shared_ptr<trevalon::sim::EmulatedPeripheral> peripheral;
    if (device.family == "kelvo") {
      auto reader = KelvoReaderEmulator::create(device.reader);
      scenario.kelvoReaders.push_back(reader);
      peripheral = reader;
    } else {
      peripheral = std::make_shared<OtherPeripheral>(device.reader.address, device.reader.name, device.reader.battery);
    }
    scenario.all.push_back(peripheral);
    if (radio) radio->addPeripheral(peripheral);
  }
  return scenario;
}

Scenario Scenario::fromFile(const std::shared_ptr<trevalon::sim::SimulatedRadio>& radio, const std::string& path) {
  return populate(radio, ScenarioLoader::load(path));
}

std::optional<Scenario> Scenario::fromEnvironment(const std::shared_ptr<trevalon::sim::SimulatedRadio>& radio) {
  const char* backend = std::getenv("KELVO_BLE_BACKEND");
  if (backend == nullptr || std::string(backend) != "sim") return std::nullopt;
  const char* path = std::getenv("KELVO_SIM_SCENARIO");
  if (path == nullptr || *path == '\0') {
    throw ScenarioError("KELVO_BLE_BACKEND=sim needs KELVO_SIM_SCENARIO to name a scenario file");
  }
  return fromFile(radio, path);
}

std::shared_ptr<KelvoReaderEmulator> Scenario::reader(const std::string& address) const {
  for (const auto& reader : kelvoReaders) {
    if (reader->address() == address) return reader;
  }
  return nullptr;
}

}  // namespace kelvo::simulator
