// SPDX-License-Identifier: Apache-2.0
#pragma once
// The readers a running kelvo-driver serves, reached through its sockets instead of in process, so that both
// paths can be compared from the shell: a reader is listed when its socket file exists in the runtime directory.

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace kelvo::cli {

class DriverSession {
 public:
  static constexpr const char* kSocketPrefix = "omnivex#ipc#ver6#kelvo_";
  static constexpr size_t kMaxMessage = 1024;
  // The file a running driver holds locked in its runtime directory (the driver's RunningMarker).
  static constexpr const char* kRunningMarker = "kelvo-driver.pid";
  static constexpr const char* kCardSocketPrefix = "kelvo-card_";

  // The driver's sockets in $TREVALON_RUNTIME_DIR.
  DriverSession();

  // Whether a kelvo-driver runs on the runtime directory (it holds its marker locked), whether or not it serves
  // any reader.
  bool driverRunning() const;
  // Whether the driver serves the reader: the application's socket, or for a Pentaloq reader only the card's.
  bool serves(const std::string& address) const;
  const std::string& directory() const { return runtimeDirectory; }

  // Addresses of the readers with a socket, in address order.
  std::vector<std::string> addresses() const;
  std::string socketOf(const std::string& address) const;

  // The driver's whole answer (status first); nothing after a message on standard error.
  std::optional<std::vector<uint8_t>> exchange(const std::string& address, uint8_t code,
                                               const std::vector<uint8_t>& payload) const;
  // The same without a word on failure.
  std::optional<std::vector<uint8_t>> exchangeQuietly(const std::string& address, uint8_t code,
                                                      const std::vector<uint8_t>& payload) const;

 private:
  std::optional<std::vector<uint8_t>> exchangeReporting(const std::string& address, uint8_t code,
                                                        const std::vector<uint8_t>& payload,
                                                        std::string& problem) const;

  std::string runtimeDirectory;
};

}  // namespace kelvo::cli
