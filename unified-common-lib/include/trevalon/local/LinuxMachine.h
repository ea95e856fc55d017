// SPDX-License-Identifier: Apache-2.0
#pragma once
// The machine on Linux: host name, and a machine key made from a fixed constant and /etc/machine-id.

#include <string>

#include "trevalon/local/Machine.h"

namespace trevalon::local {

class LinuxMachine : public Machine {
 public:
  // Writes the default "logpath" when the settings have none, and logs what the system says about itself.
  explicit LinuxMachine(std::string machineIdPath = "/etc/machine-id", std::string osReleasePath = "/etc/os-release");

  std::string getName() override;
  std::vector<uint8_t> query(const std::string& what) override;
  MachineKey key() override;

  // The constant part of the key, and where the 16 machine-id bytes go, in the order they appear in the id.
  static const MachineKey kKeyConstant;
  static const std::array<uint8_t, 16> kMachineIdPositions;

 private:
  void logSystemInformation() const;

  std::string machineIdPath;
  std::string osReleasePath;
};

}  // namespace trevalon::local
