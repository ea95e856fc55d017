// SPDX-License-Identifier: Apache-2.0
#include "CampaignScenario.h"

#include <fstream>
#include <stdexcept>

#include "kelvo/simulator/scenario/ScenarioLoader.h"

namespace kelvo::campaign {
namespace {

// Answer packages of 20 and 64 bytes, as links with a small MTU carry them: most answers span several packages,
// so that package faults can also put them out of order.
const char* const kScenario = R"({ "devices": [
  { "family": "kelvo", "address": "001a7dca0101", "name": "Kelvo 5100000101", "generation": 1, "package-size": 20,
    "descriptor": { "Serial": "5100000101", "Firmware": "1.4.2", "Hardware": "1.2rev3" },
    "battery": 81, "usb": 0, "settings": { "7": 1 },
    "ranges": [[480, 1080], [-1, -1], [-1, -1], [-1, -1], [-1, -1], [-1, -1], [-1, -1]],
    "card": { "atr": "3B8180018080" } },
  { "family": "kelvo", "address": "001a7dca0202", "name": "Kelvo K2000000202", "generation": 2, "package-size": 64,
    "descriptor": { "Serial": "K2000000202", "Firmware": "2.1.0", "Hardware": "2.0rev1" },
    "battery": 62, "usb": 1, "settings": { "7": 1 },
    "card": { "atr": "3B8180018080" } },
  { "family": "kelvo", "address": "001a7dca0303", "name": "Kelvo 5100000303", "generation": 1, "package-size": 20,
    "descriptor": { "Serial": "5100000303", "Firmware": "1.3.9", "Hardware": "1.2rev2" },
    "battery": 43, "usb": 0, "settings": { "7": 1 }, "quirks": [ "no-session-key" ],
    "card": { "atr": "3B8180018080" } },
  { "family": "kelvo", "address": "001a7dca0404", "name": "Kelvo K2000000404", "generation": 2, "package-size": 64,
    "descriptor": { "Serial": "K2000000404", "Firmware": "2.0.4", "Hardware": "2.0rev1" },
    "battery": 24, "usb": 1, "settings": { "7": 1 }, "quirks": [ "no-session-key" ],
    "card": { "atr": "3B8180018080" } }
] })";

}  // namespace

CampaignScenario::CampaignScenario() : text(kScenario) {
  for (const simulator::ScenarioDevice& device : simulator::ScenarioLoader::parse(text)) {
    configs.push_back(device.reader.withDefaults());
  }
}

void CampaignScenario::writeTo(const std::string& path) const {
  std::ofstream file(path);
  file << text;
  if (!file) throw std::runtime_error("cannot write the scenario file " + path);
}

std::string CampaignScenario::labelOf(const simulator::KelvoReaderConfig& reader) {
  const bool longTermOnly = reader.quirks.count(simulator::KelvoReaderQuirk::noSessionKey) != 0;
  return "gen" + std::to_string(reader.generation) + (longTermOnly ? "-ecb" : "-ccm");
}

}  // namespace kelvo::campaign
