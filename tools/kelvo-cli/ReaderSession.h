#pragma once
// The readers the tool can reach: the discovery chain over the selected radio (a scenario on the simulated
// radio), the devices it built, and a settings store of its own for the emulated readers' keys and serials.

#include <chrono>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "kelvo/simulator/Scenario.h"
#include "trevalon/Reader.h"
#include "trevalon/sim/ProviderBLESim.h"
#include "trevalon/sim/ProviderSim.h"
#include "trevalon/sim/SimulatedRadio.h"

namespace kelvo::cli {

class ReaderSession {
 public:
  static constexpr std::chrono::seconds kAvailabilityWait = std::chrono::seconds(5);

  // Throws std::runtime_error with a message for the user when the scenario cannot be used.
  explicit ReaderSession(const std::string& scenarioPath);
  ~ReaderSession();
  ReaderSession(const ReaderSession&) = delete;
  ReaderSession& operator=(const ReaderSession&) = delete;

  // Every reader found, in address order.
  std::vector<std::shared_ptr<trevalon::Device>> devices();
  std::shared_ptr<trevalon::Device> find(const std::string& address);
  // Brings the reader's link up, as the system does for a reader in range, and waits until it is available.
  bool waitAvailable(const std::shared_ptr<trevalon::Device>& device, std::chrono::milliseconds limit);

 private:
  // Polls the radio on the caller's thread: one enumeration is all a short-lived tool needs.
  class Enumeration : public trevalon::sim::ProviderSim {
   public:
    using ProviderSim::ProviderSim;
    using ProviderSim::update;
  };

  void prepareSettings();
  std::shared_ptr<trevalon::ble::BLEReaderNative> nativeOf(const std::string& address);

  std::string settingsDirectory;
  std::shared_ptr<trevalon::sim::SimulatedRadio> radio;
  std::optional<simulator::Scenario> scenario;
  std::vector<std::shared_ptr<Enumeration>> enumerations;
  std::shared_ptr<trevalon::sim::ProviderBLESim> natives;
  std::shared_ptr<trevalon::Reader::DeviceProvider> provider;
};

}  // namespace kelvo::cli
