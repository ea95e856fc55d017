// SPDX-License-Identifier: Apache-2.0
#pragma once
// The radios a program may reach readers through, by the name KELVO_BLE_BACKEND gives them. "bluez" is always
// there; a program adds others before it builds its backend (the emulated world adds "sim", the simulated radio
// populated from a scenario file). A radio may take one argument, which a program passes itself (a command line
// option) or which comes from the environment variable the radio names.

#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <string>

#include "trevalon/ble/Radio.h"

namespace trevalon::ble {

class RadioRegistry {
 public:
  // Builds the radio from its argument; throws BackendError (or any std::exception) saying why it cannot.
  using Factory = std::function<std::unique_ptr<Radio>(const std::string& argument)>;

  struct Kind {
    // The environment variable that holds the argument when the program gives none; empty when none is taken.
    std::string argumentVariable;
    // What the argument names, for the message when it is missing ("a scenario file").
    std::string argumentMeaning;
    Factory create;
  };

  static RadioRegistry& instance();

  // A later registration under the same name replaces the earlier one.
  void add(const std::string& name, Kind kind);
  // Throws BackendError, naming the radios there are, when the name is unknown.
  Kind find(const std::string& name) const;

 private:
  RadioRegistry();

  mutable std::mutex lock;
  std::map<std::string, Kind> kinds;
};

}  // namespace trevalon::ble
