#include "ReaderSession.h"

#include <condition_variable>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <mutex>
#include <stdexcept>
#include <thread>

#include "kelvo/simulator/KelvoReaderEmulator.h"
#include "trevalon/local/Facade.h"
#include "trevalon/local/FileSettings.h"
#include "trevalon/local/LinuxMachine.h"

namespace kelvo::cli {
namespace {

// Wakes a waiting command when the reader reports itself available.
class AvailabilityWatch : public trevalon::DeviceObserver {
 public:
  void onAvailableChanged(bool value) override {
    {
      std::lock_guard<std::mutex> guard(lock);
      available = value;
    }
    changed.notify_all();
  }
  bool waitFor(std::chrono::milliseconds limit) {
    std::unique_lock<std::mutex> guard(lock);
    return changed.wait_for(guard, limit, [this] { return available; });
  }
  void onBatteryLevelChanged(uint8_t) override {}
  void onUsbCableStatusChanged(uint8_t) override {}
  void onEncryptionChanged(uint8_t) override {}
  void onAdvertisingModeChanged(uint8_t) override {}
  void onBuzzerModeChanged(uint8_t) override {}
  void onSignalStrengthChanged(uint8_t) override {}
  void onBackLightChanged(uint8_t) override {}
  void onDisplayModeChanged(uint8_t) override {}
  void onRssiMinValueChanged(uint8_t) override {}
  void onConnectedChanged(bool) override {}
  void onPairedChanged(bool) override {}
  std::vector<uint8_t> onKeyRequested() override { throw std::runtime_error("no key"); }
  void onEvent(uint32_t) override {}

 private:
  std::mutex lock;
  std::condition_variable changed;
  bool available = false;
};

}  // namespace

ReaderSession::ReaderSession(const std::string& scenarioPath) {
  prepareSettings();
  radio = trevalon::sim::SimulatedRadio::create();
  try {
    scenario = simulator::Scenario::fromFile(radio, scenarioPath);
  } catch (const std::exception& error) {
    throw std::runtime_error(std::string("cannot use scenario ") + scenarioPath + ": " + error.what());
  }
  radio->waitIdle();
  natives = std::make_shared<trevalon::sim::ProviderBLESim>(radio);
  provider = trevalon::Reader::createDeviceProvider();
  provider->setMaster(natives);
  // Readers offer the reader service in one of its two variants; a device is found under either.
  for (uint16_t variant : {0x6803, 0x6801}) {
    auto enumeration = std::make_shared<Enumeration>(radio, simulator::KelvoReaderEmulator::serviceUuid(variant));
    enumeration->addObserver(natives);
    enumeration->update();
    enumerations.push_back(enumeration);
  }
}

ReaderSession::~ReaderSession() {
  // Library workers may hold a stack for the last moments of a notification: the process ends only once every
  // stack is gone (a native reader goes last, with the stack above it), so no link key is left half freed.
  std::vector<std::weak_ptr<trevalon::ble::BLEReaderNative>> bottoms;
  if (natives) {
    for (const auto& native : natives->getProvided()) bottoms.push_back(native);
  }
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
  trevalon::local::Facade::instance().setSettings(nullptr);
  std::error_code ignored;
  std::filesystem::remove_all(settingsDirectory, ignored);
}

void ReaderSession::prepareSettings() {
  // Emulated readers live for one run only: their keys and serials go to a private directory of this run.
  std::string pattern = (std::filesystem::temp_directory_path() / "kelvo-cli-XXXXXX").string();
  if (mkdtemp(pattern.data()) == nullptr) {
    throw std::runtime_error("cannot create a settings directory in " +
                             std::filesystem::temp_directory_path().string());
  }
  settingsDirectory = pattern;
  trevalon::local::Facade::instance().setSettings(std::make_shared<trevalon::local::FileSettings>(settingsDirectory));
  trevalon::local::Facade::instance().setMachine(std::make_shared<trevalon::local::LinuxMachine>());
}

std::vector<std::shared_ptr<trevalon::Device>> ReaderSession::devices() {
  std::map<std::string, std::shared_ptr<trevalon::Device>> byAddress;
  for (const std::shared_ptr<trevalon::Device>& device : provider->getProvided()) {
    if (device) byAddress[device->getAddress()] = device;
  }
  std::vector<std::shared_ptr<trevalon::Device>> found;
  for (auto& entry : byAddress) found.push_back(entry.second);
  return found;
}

std::shared_ptr<trevalon::Device> ReaderSession::find(const std::string& address) {
  for (const std::shared_ptr<trevalon::Device>& device : devices()) {
    if (device->getAddress() == address) return device;
  }
  return nullptr;
}

std::shared_ptr<trevalon::ble::BLEReaderNative> ReaderSession::nativeOf(const std::string& address) {
  for (const std::shared_ptr<trevalon::ble::BLEReaderNative>& native : natives->getProvided()) {
    if (native && native->getAddress() == address) return native;
  }
  return nullptr;
}

bool ReaderSession::waitAvailable(const std::shared_ptr<trevalon::Device>& device, std::chrono::milliseconds limit) {
  auto watch = std::make_shared<AvailabilityWatch>();
  device->addObserver(watch);
  bool available = device->isAvailable();
  if (!available) {
    std::shared_ptr<trevalon::ble::BLEReaderNative> native = nativeOf(device->getAddress());
    if (native) native->connect();
    available = watch->waitFor(limit);
  }
  device->removeObserver(watch);
  return available;
}

}  // namespace kelvo::cli
