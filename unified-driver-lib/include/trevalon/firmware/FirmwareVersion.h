// SPDX-License-Identifier: Apache-2.0
#pragma once
// A firmware version as descriptors and readers write it: numbers separated by dots, optionally followed by "-" and
// a tag ("2.1.7-GOV"). Ordered number by number; a version that is a prefix of another is lower, and a tagged
// version is lower than the same numbers without a tag.

#include <cstdint>
#include <string>
#include <vector>

namespace trevalon {

class FirmwareVersion {
 public:
  FirmwareVersion() = default;
  // Every piece before the last "." is a number as strtoul reads it (a non-numeric piece is 0); in the rest the
  // first "-" separates the last number from the tag.
  static FirmwareVersion parse(const std::string& text);

  std::string toString() const;
  const std::vector<uint32_t>& numbers() const { return parts; }
  const std::string& tag() const { return label; }

  bool operator<(const FirmwareVersion& other) const;
  bool operator==(const FirmwareVersion& other) const;
  bool operator!=(const FirmwareVersion& other) const { return !(*this == other); }

 private:
  std::vector<uint32_t> parts;
  std::string label;
};

}  // namespace trevalon
