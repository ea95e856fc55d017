#pragma once
// The radio a program reaches readers through: the simulated radio with a scenario's devices when
// KELVO_BLE_BACKEND=sim names one in KELVO_SIM_SCENARIO, or BlueZ on the system bus (DBUS_SYSTEM_BUS_ADDRESS
// moves it to another bus). It gives the provider of native readers that a device provider
// (trevalon::Reader::createDeviceProvider) takes as its master, and polls for readers offering either variant
// of the Kelvo reader service or the Pentaloq service.
//
// Release every device provider built on natives() before the backend: the destructor waits a little for
// the native readers to go, then stops the radio's threads.

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "kelvo/simulator/scenario/Scenario.h"
#include "trevalon/ble/BLEReaderNative.h"
#include "trevalon/ble/ProvidedDevice.h"
#include "trevalon/common/Provider.h"
#include "trevalon/common/ProviderRunnable.h"
#include "trevalon/common/Translator.h"
#include "trevalon/sim/SimulatedRadio.h"

namespace kelvo::simulator {

class ControlFifo;
class ScenarioControl;

class ReaderBackend {
 public:
  using NativeProvider = trevalon::Provider<std::shared_ptr<trevalon::ble::BLEReaderNative>>;
  // The native readers' provider, which also lists the readers it has made.
  using NativeSource =
      trevalon::common::Translator<trevalon::Provider<trevalon::ble::ProvidedDevice>, NativeProvider>;

  // Throws std::runtime_error (a ScenarioError for a bad scenario file) with a message for the user.
  static std::unique_ptr<ReaderBackend> fromEnvironment();
  static std::unique_ptr<ReaderBackend> fromScenarioFile(const std::string& path);
  static std::unique_ptr<ReaderBackend> bluez();

  ~ReaderBackend();
  ReaderBackend(const ReaderBackend&) = delete;
  ReaderBackend& operator=(const ReaderBackend&) = delete;

  std::shared_ptr<NativeSource> natives() const { return nativeProvider; }

  // Polls each reader service every `periodMs` on a thread each; stop() returns once they have ended.
  void start(int64_t periodMs);
  void stop();
  // One enumeration on the caller's thread, for short-lived tools.
  void pollOnce();

  // The simulated radio's scenario and radio; null on BlueZ. The scenario may change under a control FIFO.
  Scenario* scenario() { return simulated ? &*simulated : nullptr; }
  std::shared_ptr<trevalon::sim::SimulatedRadio> radio() const { return simulatedRadio; }
  // Runs control commands on the simulated radio's scenario; null on BlueZ.
  std::shared_ptr<ScenarioControl> control() const { return scenarioControl; }
  bool isSimulated() const { return simulatedRadio != nullptr; }

 private:
  using Enumeration = trevalon::common::ProviderRunnable<trevalon::ble::ProvidedDevice>;

  ReaderBackend() = default;
  void attachSimulatedRadio(const std::string& scenarioPath);
  void attachBlueZ();
  void openControlFifo();
  // Feeds the translator from one enumeration per service variant; `poll` runs one enumeration's update.
  void chain(std::shared_ptr<NativeSource> translator, std::vector<std::shared_ptr<Enumeration>> variants,
             std::vector<std::function<void()>> polls);
  void waitForNativeReaders();

  std::shared_ptr<trevalon::sim::SimulatedRadio> simulatedRadio;
  std::optional<Scenario> simulated;
  std::shared_ptr<ScenarioControl> scenarioControl;
  std::unique_ptr<ControlFifo> controlFifo;
  // BlueZ's bus watcher, kept as the owner that stops its threads.
  std::shared_ptr<void> bus;
  std::vector<std::shared_ptr<Enumeration>> enumerations;
  std::vector<std::function<void()>> pollers;
  std::shared_ptr<NativeSource> nativeProvider;
};

}  // namespace kelvo::simulator
