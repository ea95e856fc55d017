#include "kelvo/simulator/scenario/ReaderBackend.h"

#include <chrono>
#include <cstdlib>
#include <stdexcept>
#include <thread>

#include "kelvo/simulator/scenario/ControlFifo.h"
#include "kelvo/simulator/kelvo/KelvoReaderEmulator.h"
#include "kelvo/simulator/pentaloq/PentaloqReaderEmulator.h"
#include "kelvo/simulator/scenario/ScenarioControl.h"
#include "trevalon/common/Log.h"
#include "trevalon/bluez/BLEConnectionBlueZ.h"
#include "trevalon/bluez/ProviderBLEBlueZ.h"
#include "trevalon/bluez/ProviderBlueZ.h"
#include "trevalon/sim/ProviderBLESim.h"
#include "trevalon/sim/ProviderSim.h"

namespace kelvo::simulator {
namespace {

// Kelvo readers offer the reader service in one of its two variants, Pentaloq readers a service of their own;
// a device is found under any of them.
std::vector<trevalon::ble::Uuid> readerServices() {
  return {KelvoReaderEmulator::serviceUuid(0x6803), KelvoReaderEmulator::serviceUuid(0x6801),
          PentaloqReaderEmulator::serviceUuid()};
}

// An enumeration whose update a tool may also run on its own thread.
template <typename Enumeration>
class Pollable : public Enumeration {
 public:
  using Enumeration::Enumeration;
  void poll() { this->update(); }
};

std::string environment(const char* name) {
  const char* value = std::getenv(name);
  return value ? value : "";
}

}  // namespace

std::unique_ptr<ReaderBackend> ReaderBackend::fromEnvironment() {
  if (environment("KELVO_BLE_BACKEND") != "sim") return bluez();
  const std::string path = environment("KELVO_SIM_SCENARIO");
  if (path.empty()) throw ScenarioError("KELVO_BLE_BACKEND=sim needs KELVO_SIM_SCENARIO to name a scenario file");
  return fromScenarioFile(path);
}

std::unique_ptr<ReaderBackend> ReaderBackend::fromScenarioFile(const std::string& path) {
  std::unique_ptr<ReaderBackend> backend(new ReaderBackend());
  backend->attachSimulatedRadio(path);
  return backend;
}

std::unique_ptr<ReaderBackend> ReaderBackend::bluez() {
  std::unique_ptr<ReaderBackend> backend(new ReaderBackend());
  backend->attachBlueZ();
  return backend;
}

void ReaderBackend::attachSimulatedRadio(const std::string& scenarioPath) {
  simulatedRadio = trevalon::sim::SimulatedRadio::create();
  simulated = Scenario::fromFile(simulatedRadio, scenarioPath);
  simulatedRadio->waitIdle();
  std::vector<std::shared_ptr<Enumeration>> variants;
  std::vector<std::function<void()>> polls;
  for (const trevalon::ble::Uuid& service : readerServices()) {
    auto enumeration = std::make_shared<Pollable<trevalon::sim::ProviderSim>>(simulatedRadio, service);
    polls.push_back([raw = enumeration.get()] { raw->poll(); });
    variants.push_back(enumeration);
  }
  chain(std::make_shared<trevalon::sim::ProviderBLESim>(simulatedRadio), std::move(variants), std::move(polls));
  std::weak_ptr<trevalon::sim::SimulatedRadio> air = simulatedRadio;
  scenarioControl = std::make_shared<ScenarioControl>(
      *simulated,
      [air](const std::shared_ptr<trevalon::sim::EmulatedPeripheral>& peripheral) {
        if (auto radio = air.lock()) radio->addPeripheral(peripheral);
      },
      [air](const std::string& address) {
        if (auto radio = air.lock()) radio->removePeripheral(address);
      });
  openControlFifo();
}

void ReaderBackend::attachBlueZ() {
  std::shared_ptr<trevalon::bluez::BLEConnectionBlueZ> watcher = trevalon::bluez::BLEConnectionBlueZ::create();
  if (!watcher) throw std::runtime_error("BlueZ cannot be reached on the system bus");
  bus = watcher;
  std::vector<std::shared_ptr<Enumeration>> variants;
  std::vector<std::function<void()>> polls;
  for (const trevalon::ble::Uuid& service : readerServices()) {
    auto enumeration = std::make_shared<Pollable<trevalon::bluez::ProviderBlueZ>>(service);
    polls.push_back([raw = enumeration.get()] { raw->poll(); });
    variants.push_back(enumeration);
  }
  chain(std::make_shared<trevalon::bluez::ProviderBLEBlueZ>(watcher), std::move(variants), std::move(polls));
}

void ReaderBackend::openControlFifo() {
  const std::string path = environment("KELVO_SIM_CONTROL");
  if (path.empty()) return;
  controlFifo = std::make_unique<ControlFifo>(path, scenarioControl);
  TREVALON_LOG(info, "control commands are read from %s", path.c_str());
}

void ReaderBackend::chain(std::shared_ptr<NativeSource> translator,
                          std::vector<std::shared_ptr<Enumeration>> variants,
                          std::vector<std::function<void()>> polls) {
  nativeProvider = std::move(translator);
  for (const std::shared_ptr<Enumeration>& enumeration : variants) enumeration->addObserver(nativeProvider);
  enumerations = std::move(variants);
  pollers = std::move(polls);
}

void ReaderBackend::start(int64_t periodMs) {
  for (const std::shared_ptr<Enumeration>& enumeration : enumerations) enumeration->start(periodMs);
}

void ReaderBackend::stop() {
  for (const std::shared_ptr<Enumeration>& enumeration : enumerations) enumeration->stop();
}

void ReaderBackend::pollOnce() {
  for (const std::function<void()>& poll : pollers) poll();
}

ReaderBackend::~ReaderBackend() {
  controlFifo.reset();
  stop();
  waitForNativeReaders();
  scenarioControl.reset();
  simulated.reset();
  simulatedRadio.reset();
  bus.reset();
}

void ReaderBackend::waitForNativeReaders() {
  // Library workers may hold a stack for the last moments of a notification: the radio stops only once every
  // native reader is gone (it goes last, with the stack above it), so no link key is left half freed.
  std::vector<std::weak_ptr<trevalon::ble::BLEReaderNative>> bottoms;
  if (nativeProvider) {
    for (const auto& native : nativeProvider->getProvided()) bottoms.push_back(native);
  }
  pollers.clear();
  enumerations.clear();
  nativeProvider.reset();
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(2);
  for (const auto& bottom : bottoms) {
    while (!bottom.expired() && std::chrono::steady_clock::now() < deadline) {
      std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
  }
}

}  // namespace kelvo::simulator
