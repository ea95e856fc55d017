// SPDX-License-Identifier: Apache-2.0
#pragma once
// A radio that cannot be used as the program was asked to: an unknown KELVO_BLE_BACKEND, a radio this build
// does not have, a missing or unusable argument (the simulated radio's scenario file), BlueZ out of reach. The
// message is written for the user, who gets it once, and the program ends with a non-zero status.

#include <stdexcept>
#include <string>

namespace trevalon::ble {

class BackendError : public std::runtime_error {
 public:
  explicit BackendError(const std::string& message) : std::runtime_error(message) {}
};

}  // namespace trevalon::ble
