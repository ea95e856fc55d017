// SPDX-License-Identifier: Apache-2.0
#pragma once
// Facts about the machine the library runs on.

#include <array>
#include <cstdint>
#include <string>
#include <vector>

namespace trevalon::local {

using MachineKey = std::array<uint8_t, 32>;

class Machine {
 public:
  virtual ~Machine() = default;
  virtual std::string getName() = 0;
  virtual std::vector<uint8_t> query(const std::string& what) = 0;
  // The per-machine key of the private settings; built on every call, never stored.
  virtual MachineKey key() = 0;
};

}  // namespace trevalon::local
