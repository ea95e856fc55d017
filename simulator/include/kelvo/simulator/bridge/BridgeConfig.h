// SPDX-License-Identifier: Apache-2.0
#pragma once
// What makes one emulated Bridge dongle what it is when it is plugged in. Scenario files fill it (family "bridge").

#include <cstdint>
#include <string>
#include <vector>

namespace kelvo::simulator {

struct BridgeConfig {
  std::string name = "Kelvo Bridge";  // at most 16 bytes, as the Bridge stores it
  std::string serial = "KB2000000001";
  std::string version = "1.4.2";
  std::vector<std::string> paired;   // reader addresses the Bridge is paired with, 12 lower-case hex digits
  std::vector<std::string> readers;  // addresses of the scenario's devices within the Bridge's radio reach
  uint32_t passkey = 123456;         // the code a reader asks for when it pairs
  uint16_t vendor = 0x2DFF;
  uint16_t product = 0x1543;
};

}  // namespace kelvo::simulator
