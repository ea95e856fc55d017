// SPDX-License-Identifier: Apache-2.0
#pragma once
// Reads the scenario files that list the emulated devices of a test, of the demo and of later tools:
//   { "devices": [ { "family": "kelvo", "address": "001a7dda7113", "generation": 1, ... } ] }
// An optional "link": { "interval-us": 7500, "packets-per-interval": 4, "mtu": 247 } gives the radio's links that
// timing (trevalon::sim::LinkModel); without it every operation is done at once.
// Every field is checked; an unknown field or a value out of range is a ScenarioError whose message says
// where, e.g. "devices[1].quirks[0]: unknown quirk 'no-such-thing'".

#include <optional>
#include <string>
#include <vector>

#include "kelvo/simulator/bridge/BridgeConfig.h"
#include "kelvo/simulator/kelvo/KelvoReaderConfig.h"
#include "kelvo/simulator/pentaloq/PentaloqReaderConfig.h"
#include "kelvo/simulator/scenario/ScenarioError.h"
#include "trevalon/sim/LinkModel.h"

namespace kelvo::simulator {

struct ScenarioDevice {
  // "kelvo", "pentaloq", "none" for a peripheral without a reader service, or "bridge" for a Bridge dongle on USB
  // (scripts/with-usb with kelvo-sim-bridge), which is not on the radio itself
  std::string family;
  KelvoReaderConfig reader;       // for "none" only address, name and battery are used; for "pentaloq" address and name
  PentaloqReaderConfig pentaloq;  // for "pentaloq" only
  BridgeConfig bridge;            // for "bridge" only
};

class ScenarioLoader {
 public:
  static std::vector<ScenarioDevice> parse(const std::string& text);
  static std::vector<ScenarioDevice> load(const std::string& path);
  static std::optional<trevalon::sim::LinkModel::Parameters> parseLink(const std::string& text);
  static std::optional<trevalon::sim::LinkModel::Parameters> loadLink(const std::string& path);
  // One device object as it stands in a scenario's "devices" array; errors name it "device".
  static ScenarioDevice parseDevice(const std::string& text);
};

}  // namespace kelvo::simulator
