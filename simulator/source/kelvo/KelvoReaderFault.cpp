#include "kelvo/simulator/kelvo/ReaderFault.h"

#include <utility>

namespace kelvo::simulator {

std::optional<ReaderFault::Kind> parseReaderFaultKind(const std::string& name) {
  static const std::vector<std::pair<std::string, ReaderFault::Kind>> kinds = {
      {"drop-package", ReaderFault::Kind::dropPackage},
      {"repeat-package", ReaderFault::Kind::repeatPackage},
      {"reorder-packages", ReaderFault::Kind::reorderPackages},
      {"corrupt-tag", ReaderFault::Kind::corruptTag},
      {"delay", ReaderFault::Kind::delay},
      {"drop-link", ReaderFault::Kind::dropLink},
      {"long-value", ReaderFault::Kind::longValue},
  };
  for (const auto& entry : kinds) {
    if (entry.first == name) return entry.second;
  }
  return std::nullopt;
}

}  // namespace kelvo::simulator
