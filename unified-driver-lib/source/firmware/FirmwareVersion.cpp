// SPDX-License-Identifier: Apache-2.0
#include "trevalon/firmware/FirmwareVersion.h"

#include <algorithm>
#include <cstdlib>
#include <limits>

namespace trevalon {

namespace {

// strtoul's reading, kept to 32 bits: a number beyond them saturates instead of wrapping to a small one.
uint32_t numberOf(const std::string& text) {
  const unsigned long value = std::strtoul(text.c_str(), nullptr, 10);
  return value > std::numeric_limits<uint32_t>::max() ? std::numeric_limits<uint32_t>::max()
                                                      : static_cast<uint32_t>(value);
}

}  // namespace

FirmwareVersion FirmwareVersion::parse(const std::string& text) {
  FirmwareVersion version;
  size_t start = 0;
  for (size_t dot = text.find('.'); dot != std::string::npos; dot = text.find('.', start)) {
    version.parts.push_back(numberOf(text.substr(start, dot - start)));
    start = dot + 1;
  }
  const std::string rest = text.substr(start);
  const size_t dash = rest.find('-');
  version.parts.push_back(numberOf(rest.substr(0, dash)));
  if (dash != std::string::npos) version.label = rest.substr(dash + 1);
  return version;
}

std::string FirmwareVersion::toString() const {
  std::string text;
  for (size_t index = 0; index < parts.size(); ++index) {
    if (index > 0) text += '.';
    text += std::to_string(parts[index]);
  }
  if (!label.empty()) text += "-" + label;
  return text;
}

bool FirmwareVersion::operator<(const FirmwareVersion& other) const {
  const size_t common = std::min(parts.size(), other.parts.size());
  for (size_t index = 0; index < common; ++index) {
    if (parts[index] != other.parts[index]) return parts[index] < other.parts[index];
  }
  if (parts.size() != other.parts.size()) return parts.size() < other.parts.size();
  if (label.empty() != other.label.empty()) return !label.empty();
  return label < other.label;
}

bool FirmwareVersion::operator==(const FirmwareVersion& other) const {
  return parts == other.parts && label == other.label;
}

}  // namespace trevalon
