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

  // The driver's sockets in $TREVALON_RUNTIME_DIR.
  DriverSession();

  // Addresses of the readers with a socket, in address order.
  std::vector<std::string> addresses() const;
  std::string socketOf(const std::string& address) const;

  // The driver's whole answer (status first); nothing after a message on standard error.
  std::optional<std::vector<uint8_t>> exchange(const std::string& address, uint8_t code,
                                               const std::vector<uint8_t>& payload) const;

 private:
  std::string runtimeDirectory;
};

}  // namespace kelvo::cli
