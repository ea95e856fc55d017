// SPDX-License-Identifier: Apache-2.0
#pragma once
// The fields of a "pentaloq" device in a scenario file, checked as strictly as the loader checks the others:
//   { "family": "pentaloq", "address": "5e0a1c000001", "name": "Pentaloq", "firmware": "1.2", "hardware": "2.1",
//     "serial": "PQ4711", "battery": 64, "card": { "atr": "3B8180018080" }, "quirks": ["key-locked"],
//     "faults": [ { "kind": "result-code", "function": 48, "code": 14 } ], "linked": true }

#include <string>

#include <nlohmann/json.hpp>

#include "kelvo/simulator/scenario/ScenarioLoader.h"

namespace kelvo::simulator {

class PentaloqScenarioReader {
 public:
  // Throws ScenarioError naming the place of the first fault.
  static ScenarioDevice read(const nlohmann::json& value, const std::string& where);
};

}  // namespace kelvo::simulator
