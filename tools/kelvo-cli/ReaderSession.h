// SPDX-License-Identifier: Apache-2.0
#pragma once
// The readers the tool can reach: the discovery chain over the selected radio (a scenario on the simulated
// radio, or BlueZ), the devices it built, and the settings store for the readers' keys and serials: a throw-away
// one for emulated readers, or one that is kept. A real reader keeps one link key, so the kept store is the
// driver's: the reader then still knows the driver afterwards.

#include <chrono>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "trevalon/Reader.h"
#include "trevalon/ble/Backend.h"

namespace kelvo::cli {

class ReaderSession {
 public:
  static constexpr std::chrono::seconds kAvailabilityWait = std::chrono::seconds(5);

  // An empty path takes the radio the environment selects (BlueZ unless KELVO_BLE_BACKEND=sim), a path the
  // simulated radio with that scenario. An empty `keptSettingsDirectory` gives a settings store of this run,
  // removed at its end; otherwise the keys are kept there, in a directory that must be the caller's own and
  // private (it is made, mode 0700, when missing). Throws std::runtime_error with a message for the user when the
  // radio or the directory cannot be used.
  ReaderSession(const std::string& scenarioPath, const std::string& keptSettingsDirectory);
  ~ReaderSession();
  ReaderSession(const ReaderSession&) = delete;
  ReaderSession& operator=(const ReaderSession&) = delete;

  // Every reader found, in address order.
  std::vector<std::shared_ptr<trevalon::Device>> devices();
  std::shared_ptr<trevalon::Device> find(const std::string& address);
  // Brings the reader's link up, as the system does for a reader in range, and waits until it is available.
  bool waitAvailable(const std::shared_ptr<trevalon::Device>& device, std::chrono::milliseconds limit);

 private:
  void prepareThrowAwaySettings();
  void prepareKeptSettings(const std::string& directory);
  std::shared_ptr<trevalon::ble::BLEReaderNative> nativeOf(const std::string& address);

  std::string settingsDirectory;
  bool throwAway = true;
  std::unique_ptr<trevalon::ble::Backend> backend;
  std::shared_ptr<trevalon::Reader::DeviceProvider> provider;
};

}  // namespace kelvo::cli
