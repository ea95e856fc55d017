// SPDX-License-Identifier: Apache-2.0
#pragma once
// Everything that makes one emulated Kelvo reader what it is when it is switched on. Scenario files fill it;
// tests may build one directly.

#include <array>
#include <cstdint>
#include <map>
#include <optional>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "kelvo/simulator/kelvo/KelvoReaderFault.h"
#include "kelvo/simulator/kelvo/KelvoReaderQuirk.h"
#include "kelvo/simulator/kelvo/KelvoReaderRandomFaults.h"
#include "kelvo/simulator/peripheral/PivConfig.h"

namespace kelvo::simulator {

struct ReaderBond {
  uint8_t index = 0;
  std::string name;
};

struct KelvoReaderConfig {
  std::string address = "001a7dda7113";  // 12 lower-case hexadecimal digits
  std::string name = "Kelvo 5123456789";
  int generation = 1;
  uint16_t service = 0x6803;  // or 0x6801
  // Key/value items in the order they are sent; missing standard items are filled by withDefaults().
  std::vector<std::pair<std::string, std::string>> descriptor;
  uint8_t battery = 80;
  uint8_t usb = 0;
  std::map<uint8_t, uint8_t> settings;  // ids 1 to 15
  std::array<std::pair<int16_t, int16_t>, 7> ranges{};
  std::vector<ReaderBond> bonds;
  uint8_t preferred = 0xFF;
  std::optional<std::vector<uint8_t>> cardAtr;  // a card is inserted when present
  std::optional<PivConfig> cardPiv;             // with cardAtr: the card carries a PIV application
  std::set<KelvoReaderQuirk> quirks;
  std::vector<KelvoReaderFault> faults;
  std::optional<KelvoReaderRandomFaults::Rates> randomFaults;  // drawn for every answer from the start when present
  bool linkUp = true;
  uint16_t maxRequestSize = 512;
  size_t negotiatedPack = 240;  // payload bytes of a response package once the host has negotiated
  size_t flashSize = 1u << 20;
  uint8_t batteryAlertLevel = 10;

  KelvoReaderConfig();
  // Standard descriptor items and settings that were not given, the generation's defaults.
  KelvoReaderConfig withDefaults() const;
  std::optional<std::string> descriptorValue(const std::string& key) const;
};

}  // namespace kelvo::simulator
