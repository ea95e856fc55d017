#include "ReaderDiscovery.h"

#include <cstdlib>
#include <stdexcept>

#include "kelvo/simulator/KelvoReaderEmulator.h"
#include "trevalon/common/Log.h"
#include "trevalon/common/ScopeTrace.h"

namespace kelvo::driver {

void ReaderDiscovery::Enumeration::pollWithLosses() {
  seen.clear();
  update();
  for (const trevalon::ble::ProvidedDevice& item : getProvided()) {
    if (seen.count(item.path) == 0) onLost(item);
  }
}

void ReaderDiscovery::Enumeration::onFound(const trevalon::ble::ProvidedDevice& item) {
  seen.insert(item.path);
  ProviderSim::onFound(item);
}

std::unique_ptr<ReaderDiscovery> ReaderDiscovery::fromScenarioFile(const std::string& path,
                                                                   std::chrono::milliseconds pollPeriod) {
  std::shared_ptr<trevalon::sim::SimulatedRadio> radio = trevalon::sim::SimulatedRadio::create();
  std::optional<simulator::Scenario> scenario;
  try {
    scenario = simulator::Scenario::fromFile(radio, path);
  } catch (const std::exception& error) {
    throw std::runtime_error("cannot use scenario " + path + ": " + error.what());
  }
  radio->waitIdle();
  auto discovery = std::make_unique<ReaderDiscovery>(radio, pollPeriod);
  discovery->scenario = std::move(scenario);
  if (const char* fifo = std::getenv("KELVO_SIM_CONTROL"); fifo && *fifo) discovery->openControlFifo(fifo);
  return discovery;
}

void ReaderDiscovery::openControlFifo(const std::string& path) {
  std::weak_ptr<trevalon::sim::SimulatedRadio> air = radio;
  control = std::make_shared<simulator::ScenarioControl>(
      *scenario,
      [air](const std::shared_ptr<trevalon::sim::EmulatedPeripheral>& peripheral) {
        if (auto live = air.lock()) live->addPeripheral(peripheral);
      },
      [air](const std::string& address) {
        if (auto live = air.lock()) live->removePeripheral(address);
      });
  controlFifo = std::make_unique<simulator::ControlFifo>(path, control);
  TREVALON_LOG(info, "control commands are read from %s", path.c_str());
}

ReaderDiscovery::ReaderDiscovery(std::shared_ptr<trevalon::sim::SimulatedRadio> radio,
                                 std::chrono::milliseconds pollPeriod)
    : radio(std::move(radio)), pollPeriod(pollPeriod) {
  natives = std::make_shared<trevalon::sim::ProviderBLESim>(this->radio);
  provider = trevalon::Reader::createDeviceProvider();
  provider->setMaster(natives);
  // Readers offer the reader service in one of its two variants; a device is found under either.
  for (uint16_t variant : {0x6803, 0x6801}) {
    auto enumeration =
        std::make_shared<Enumeration>(this->radio, simulator::KelvoReaderEmulator::serviceUuid(variant));
    enumeration->addObserver(natives);
    enumerations.push_back(enumeration);
  }
}

ReaderDiscovery::~ReaderDiscovery() {
  stop();
  controlFifo.reset();
  control.reset();
  // Library workers may hold a stack for the last moments of a notification: this returns only once every
  // stack is gone (a native reader goes last), so no worker is left freeing link keys as the process ends.
  std::vector<std::weak_ptr<trevalon::ble::BLEReaderNative>> bottoms;
  for (const auto& native : natives->getProvided()) bottoms.push_back(native);
  enumerations.clear();
  provider.reset();
  natives.reset();
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(2);
  for (const auto& bottom : bottoms) {
    while (!bottom.expired() && std::chrono::steady_clock::now() < deadline) {
      std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
  }
  scenario.reset();
  radio.reset();
}

void ReaderDiscovery::start() {
  std::lock_guard<std::mutex> guard(runLock);
  if (running) return;
  running = true;
  poller = std::thread(&ReaderDiscovery::run, this);
}

void ReaderDiscovery::stop() {
  {
    std::lock_guard<std::mutex> guard(runLock);
    running = false;
  }
  wake.notify_all();
  if (poller.joinable()) poller.join();
}

void ReaderDiscovery::run() {
  trevalon::common::setThreadName("DISCOVERY");
  std::unique_lock<std::mutex> guard(runLock);
  while (running) {
    guard.unlock();
    poll();
    guard.lock();
    wake.wait_for(guard, pollPeriod, [this] { return !running; });
  }
}

void ReaderDiscovery::poll() {
  TREVALON_TRACE();
  std::lock_guard<std::mutex> guard(pollLock);
  for (const std::shared_ptr<Enumeration>& enumeration : enumerations) enumeration->pollWithLosses();
  // Outside every notification: connecting may report the link at once, and the chain's locks must be free.
  for (const std::shared_ptr<trevalon::ble::BLEReaderNative>& native : natives->getProvided()) {
    if (native && !native->isConnected()) native->connect();
  }
}

}  // namespace kelvo::driver
