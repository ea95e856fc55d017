// SPDX-License-Identifier: Apache-2.0
#include "kelvo/simulator/pentaloq/PentaloqFault.h"

#include <utility>

namespace kelvo::simulator {
namespace {

const std::vector<std::pair<std::string, PentaloqFault::Kind>>& kindTable() {
  static const std::vector<std::pair<std::string, PentaloqFault::Kind>> table = {
      {"result-code", PentaloqFault::Kind::resultCode}, {"empty-result", PentaloqFault::Kind::emptyResult},
      {"corrupt-crc", PentaloqFault::Kind::corruptCrc}, {"other-function", PentaloqFault::Kind::otherFunction},
      {"drop-packet", PentaloqFault::Kind::dropPacket}, {"bad-packet", PentaloqFault::Kind::badPacket},
      {"silent", PentaloqFault::Kind::silent},          {"delay", PentaloqFault::Kind::delay},
      {"drop-link", PentaloqFault::Kind::dropLink},
  };
  return table;
}

}  // namespace

std::optional<PentaloqFault::Kind> parsePentaloqFaultKind(const std::string& name) {
  for (const auto& entry : kindTable()) {
    if (entry.first == name) return entry.second;
  }
  return std::nullopt;
}

std::vector<std::string> pentaloqFaultKindNames() {
  std::vector<std::string> names;
  for (const auto& entry : kindTable()) names.push_back(entry.first);
  return names;
}

}  // namespace kelvo::simulator
