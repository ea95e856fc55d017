#include "ReaderDiscovery.h"

#include <cstdlib>
#include <stdexcept>

#include "trevalon/ble/ReaderServiceUuids.h"
#include "trevalon/common/Log.h"
#include "trevalon/common/ScopeTrace.h"
#include "trevalon/bluez/BLEConnectionBlueZ.h"
#include "trevalon/bluez/ProviderBLEBlueZ.h"
#include "trevalon/bluez/ProviderBlueZ.h"
#include "trevalon/sim/ProviderBLESim.h"
#include "trevalon/sim/ProviderSim.h"

namespace kelvo::driver {

template <typename Enumeration>
class ReaderDiscovery::Tracked : public Enumeration, public LossReporting {
 public:
  using Enumeration::Enumeration;

  void pollWithLosses() override {
    seen.clear();
    this->update();
    for (const trevalon::ble::ProvidedDevice& item : this->getProvided()) {
      if (seen.count(item.path) == 0) this->onLost(item);
    }
  }

  void onFound(const trevalon::ble::ProvidedDevice& item) override {
    seen.insert(item.path);
    Enumeration::onFound(item);
  }

 private:
  std::set<std::string> seen;
};

template <typename Enumeration, typename... Arguments>
void ReaderDiscovery::addEnumeration(Arguments&&... arguments) {
  auto enumeration = std::make_shared<Tracked<Enumeration>>(std::forward<Arguments>(arguments)...);
  enumeration->addObserver(natives);
  enumerations.push_back(enumeration);
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

ReaderDiscovery::ReaderDiscovery(std::shared_ptr<NativeSource> natives, std::chrono::milliseconds pollPeriod)
    : natives(std::move(natives)), pollPeriod(pollPeriod) {
  provider = trevalon::Reader::createDeviceProvider();
  provider->setMaster(this->natives);
}

ReaderDiscovery::ReaderDiscovery(std::shared_ptr<trevalon::sim::SimulatedRadio> radio,
                                 std::chrono::milliseconds pollPeriod)
    : ReaderDiscovery(std::make_shared<trevalon::sim::ProviderBLESim>(radio), pollPeriod) {
  this->radio = std::move(radio);
  for (const trevalon::ble::Uuid& service : {trevalon::ble::kReaderService, trevalon::ble::kReaderServiceVariant}) {
    addEnumeration<trevalon::sim::ProviderSim>(this->radio, service);
  }
}

std::unique_ptr<ReaderDiscovery> ReaderDiscovery::onBlueZ(std::chrono::milliseconds pollPeriod) {
  std::shared_ptr<trevalon::bluez::BLEConnectionBlueZ> watcher = trevalon::bluez::BLEConnectionBlueZ::create();
  if (!watcher) throw std::runtime_error("BlueZ cannot be reached on the system bus");
  std::unique_ptr<ReaderDiscovery> discovery(
      new ReaderDiscovery(std::make_shared<trevalon::bluez::ProviderBLEBlueZ>(watcher), pollPeriod));
  discovery->bus = watcher;
  for (const trevalon::ble::Uuid& service : {trevalon::ble::kReaderService, trevalon::ble::kReaderServiceVariant}) {
    discovery->addEnumeration<trevalon::bluez::ProviderBlueZ>(service);
  }
  return discovery;
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
  bus.reset();
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
  for (const std::shared_ptr<LossReporting>& enumeration : enumerations) enumeration->pollWithLosses();
  // Outside every notification: connecting may report the link at once, and the chain's locks must be free.
  for (const std::shared_ptr<trevalon::ble::BLEReaderNative>& native : natives->getProvided()) {
    if (native && !native->isConnected()) native->connect();
  }
}

}  // namespace kelvo::driver
