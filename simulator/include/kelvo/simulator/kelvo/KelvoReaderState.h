// SPDX-License-Identifier: Apache-2.0
#pragma once
// What an emulated reader knows about itself at one moment; tests read it back through a snapshot.

#include <array>
#include <cstdint>
#include <map>
#include <optional>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "kelvo/simulator/kelvo/KelvoReaderQuirk.h"

namespace kelvo::simulator {

struct KelvoReaderState {
  // Card statuses as the reader reports them.
  static constexpr uint8_t kCardAbsent = 1;
  static constexpr uint8_t kCardPresent = 2;
  static constexpr uint8_t kCardReady = 6;

  std::string address;
  int generation = 1;
  std::vector<std::pair<std::string, std::string>> descriptor;
  uint8_t battery = 0;
  uint8_t usb = 0;
  std::map<uint8_t, uint8_t> settings;
  std::array<std::pair<int16_t, int16_t>, 7> ranges{};
  std::map<uint8_t, std::string> bonds;
  uint8_t preferred = 0xFF;
  std::optional<uint16_t> localTime;  // minute of the week last set
  std::string clientName;
  uint8_t cardStatus = kCardAbsent;
  std::optional<uint8_t> bootMode;  // set once the reader has been sent to its bootloader
  // What the last restart from the external flash did: "installed 2.2.0", or "kept 2.1.0: <reason>".
  std::string lastFlashInstall;
  std::set<KelvoReaderQuirk> quirks;
  bool randomExhausted = false;  // the next key agreement runs out of random numbers
  uint16_t maxRequestSize = 512;
  size_t negotiatedPack = 240;
  size_t flashSize = 0;
  uint8_t batteryAlertLevel = 10;

  bool has(KelvoReaderQuirk quirk) const { return quirks.count(quirk) != 0; }
  uint8_t setting(uint8_t id) const {
    auto found = settings.find(id);
    return found == settings.end() ? 0 : found->second;
  }
};

}  // namespace kelvo::simulator
