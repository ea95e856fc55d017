// SPDX-License-Identifier: Apache-2.0
#pragma once
// Everything that makes one emulated Pentaloq reader what it is when it is switched on. Scenario files fill it;
// tests may build one directly.

#include <cstdint>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "kelvo/simulator/pentaloq/PentaloqFault.h"
#include "kelvo/simulator/pentaloq/PentaloqQuirk.h"
#include "kelvo/simulator/peripheral/PivConfig.h"

namespace kelvo::simulator {

struct PentaloqReaderConfig {
  std::string address = "5e0a1c000001";  // 12 lower-case hexadecimal digits
  std::string name = "Pentaloq";
  uint8_t firmware = 0x12;        // version 1.2
  uint8_t hardware = 0x21;        // version 2.1
  std::string serial = "PQ4711";  // 6 characters
  uint8_t battery = 64;
  std::optional<std::vector<uint8_t>> cardAtr = std::vector<uint8_t>{0x3B, 0x81, 0x80, 0x01, 0x80, 0x80};
  std::optional<PivConfig> cardPiv;  // with cardAtr: the card carries a PIV application
  // The short key a reader with a locked key shows on its display.
  std::vector<uint8_t> displayedShortKey = {'4', '8', '1', '5', '1', '6', '2', '3'};
  std::set<PentaloqQuirk> quirks;
  std::vector<PentaloqFault> faults;
  bool linkUp = true;
};

}  // namespace kelvo::simulator
