#pragma once
// Finds readers for the driver through the library's discovery chain, on BlueZ or on a simulated radio, polled on
// a thread of its own. Unlike the application, the driver must also notice a reader that leaves, to remove its
// socket: each poll reports the interfaces it no longer sees as lost, and the chain passes the loss up to the
// devices. Each poll also brings up the link of every reader found that is not linked, as the system does for a
// paired reader in range.

#include <chrono>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <optional>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "kelvo/simulator/scenario/ControlFifo.h"
#include "kelvo/simulator/scenario/Scenario.h"
#include "kelvo/simulator/scenario/ScenarioControl.h"
#include "trevalon/Reader.h"
#include "trevalon/ble/BLEReaderNative.h"
#include "trevalon/ble/ProvidedDevice.h"
#include "trevalon/sim/SimulatedRadio.h"

namespace kelvo::driver {

class ReaderDiscovery {
 public:
  static constexpr std::chrono::milliseconds kDefaultPollPeriod{1000};
  using NativeSource = trevalon::common::Translator<trevalon::Provider<trevalon::ble::ProvidedDevice>,
                                                    trevalon::Provider<std::shared_ptr<trevalon::ble::BLEReaderNative>>>;

  // A radio populated from the scenario file; throws std::runtime_error when the file cannot be used. When
  // KELVO_SIM_CONTROL names a FIFO, control commands read from it move the scenario's readers (tests take a
  // reader off the air this way).
  static std::unique_ptr<ReaderDiscovery> fromScenarioFile(const std::string& path,
                                                           std::chrono::milliseconds pollPeriod = kDefaultPollPeriod);
  // Readers BlueZ offers on the system bus (DBUS_SYSTEM_BUS_ADDRESS moves it); throws std::runtime_error when
  // the bus cannot be reached.
  static std::unique_ptr<ReaderDiscovery> onBlueZ(std::chrono::milliseconds pollPeriod = kDefaultPollPeriod);

  ReaderDiscovery(std::shared_ptr<trevalon::sim::SimulatedRadio> radio, std::chrono::milliseconds pollPeriod);
  ~ReaderDiscovery();
  ReaderDiscovery(const ReaderDiscovery&) = delete;
  ReaderDiscovery& operator=(const ReaderDiscovery&) = delete;

  std::shared_ptr<trevalon::Reader::DeviceProvider> devices() const { return provider; }
  void start();
  // Returns after the polling thread has ended.
  void stop();
  // One poll on the caller's thread.
  void poll();

 private:
  // An enumeration of one reader service that also reports what it no longer sees.
  class LossReporting {
   public:
    virtual ~LossReporting() = default;
    virtual void pollWithLosses() = 0;
  };
  template <typename Enumeration>
  class Tracked;

  ReaderDiscovery(std::shared_ptr<NativeSource> natives, std::chrono::milliseconds pollPeriod);
  template <typename Enumeration, typename... Arguments>
  void addEnumeration(Arguments&&... arguments);
  void run();
  void openControlFifo(const std::string& path);

  std::shared_ptr<trevalon::sim::SimulatedRadio> radio;
  // The BlueZ link watcher, kept as the owner that stops its threads.
  std::shared_ptr<void> bus;
  std::optional<simulator::Scenario> scenario;
  std::shared_ptr<simulator::ScenarioControl> control;
  std::unique_ptr<simulator::ControlFifo> controlFifo;
  std::vector<std::shared_ptr<LossReporting>> enumerations;
  std::shared_ptr<NativeSource> natives;
  std::shared_ptr<trevalon::Reader::DeviceProvider> provider;
  const std::chrono::milliseconds pollPeriod;

  std::mutex pollLock;  // one poll at a time, whoever calls it
  std::mutex runLock;
  std::condition_variable wake;
  bool running = false;
  std::thread poller;
};

}  // namespace kelvo::driver
