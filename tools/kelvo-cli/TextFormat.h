// SPDX-License-Identifier: Apache-2.0
#pragma once
// The tool's texts: hexadecimal arguments, descriptor items and the device-state record as lines.

#include <cstdint>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include <nlohmann/json.hpp>

namespace kelvo::cli {

class TextFormat {
 public:
  // Pairs of hexadecimal digits, blanks and colons between bytes allowed; empty for anything else.
  static std::optional<std::vector<uint8_t>> parseHex(const std::string& text);
  static std::string hex(const std::vector<uint8_t>& bytes);
  // A decimal or 0x-prefixed number in [minimum, maximum].
  static std::optional<long> parseNumber(const std::string& text, long minimum, long maximum);
  // "START,END" with each in the signed 16-bit range.
  static std::optional<std::pair<int16_t, int16_t>> parseRange(const std::string& text);
  // 12 hexadecimal digits in lower case; colons and dashes between them are dropped.
  static std::optional<std::string> parseAddress(const std::string& text);

  using DescriptorItems = std::vector<std::pair<std::string, std::string>>;
  // The descriptor's items in their order; empty when the record is malformed.
  static std::optional<DescriptorItems> descriptorItems(const std::vector<uint8_t>& descriptor);
  // The fields of the 44-byte device-state record: the number as text, and decoded for JSON (the card as
  // "absent", "present" or "unidentified", the link as true or false, the working times as pairs).
  struct Field {
    std::string key;
    std::string text;
    nlohmann::json value;
  };
  static std::vector<Field> stateFields(const std::vector<uint8_t>& record);
};

}  // namespace kelvo::cli
