// SPDX-License-Identifier: Apache-2.0
#include "kelvo/simulator/kelvo/KelvoReaderFault.h"

#include <utility>

namespace kelvo::simulator {

std::optional<KelvoReaderFault::Kind> parseReaderFaultKind(const std::string& name) {
  static const std::vector<std::pair<std::string, KelvoReaderFault::Kind>> kinds = {
      {"drop-package", KelvoReaderFault::Kind::dropPackage},
      {"repeat-package", KelvoReaderFault::Kind::repeatPackage},
      {"reorder-packages", KelvoReaderFault::Kind::reorderPackages},
      {"corrupt-tag", KelvoReaderFault::Kind::corruptTag},
      {"delay", KelvoReaderFault::Kind::delay},
      {"drop-link", KelvoReaderFault::Kind::dropLink},
      {"long-value", KelvoReaderFault::Kind::longValue},
  };
  for (const auto& entry : kinds) {
    if (entry.first == name) return entry.second;
  }
  return std::nullopt;
}

}  // namespace kelvo::simulator
