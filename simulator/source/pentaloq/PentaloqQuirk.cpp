// SPDX-License-Identifier: Apache-2.0
#include "kelvo/simulator/pentaloq/PentaloqQuirk.h"

#include <utility>

namespace kelvo::simulator {
namespace {

const std::vector<std::pair<std::string, PentaloqQuirk>>& quirkTable() {
  static const std::vector<std::pair<std::string, PentaloqQuirk>> table = {
      {"key-locked", PentaloqQuirk::keyLocked},
      {"key-lost", PentaloqQuirk::keyLost},
      {"wide-version", PentaloqQuirk::wideVersion},
      {"plain-answers", PentaloqQuirk::plainAnswers},
  };
  return table;
}

}  // namespace

std::optional<PentaloqQuirk> parsePentaloqQuirk(const std::string& name) {
  for (const auto& entry : quirkTable()) {
    if (entry.first == name) return entry.second;
  }
  return std::nullopt;
}

std::vector<std::string> pentaloqQuirkNames() {
  std::vector<std::string> names;
  for (const auto& entry : quirkTable()) names.push_back(entry.first);
  return names;
}

}  // namespace kelvo::simulator
