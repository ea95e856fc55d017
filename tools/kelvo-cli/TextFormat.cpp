// SPDX-License-Identifier: Apache-2.0
#include "TextFormat.h"

#include <cctype>
#include <cerrno>
#include <cstdlib>

#include "trevalon/common/HexText.h"

namespace kelvo::cli {
namespace {

int hexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

int16_t littleEndian16(const std::vector<uint8_t>& record, size_t at) {
  return static_cast<int16_t>(static_cast<uint16_t>(record[at] | (record[at + 1] << 8)));
}

}  // namespace

std::optional<std::vector<uint8_t>> TextFormat::parseHex(const std::string& text) {
  std::vector<uint8_t> bytes;
  int high = -1;
  for (char c : text) {
    if (c == ' ' || c == ':') {
      if (high >= 0) return std::nullopt;  // a separator inside a byte
      continue;
    }
    const int digit = hexDigit(c);
    if (digit < 0) return std::nullopt;
    if (high < 0) {
      high = digit;
    } else {
      bytes.push_back(static_cast<uint8_t>(high << 4 | digit));
      high = -1;
    }
  }
  if (high >= 0 || bytes.empty()) return std::nullopt;
  return bytes;
}

std::string TextFormat::hex(const std::vector<uint8_t>& bytes) { return trevalon::common::HexText::of(bytes); }

std::optional<long> TextFormat::parseNumber(const std::string& text, long minimum, long maximum) {
  if (text.empty()) return std::nullopt;
  errno = 0;
  char* end = nullptr;
  const long value = std::strtol(text.c_str(), &end, 0);
  if (errno != 0 || end == text.c_str() || *end != '\0' || value < minimum || value > maximum) {
    return std::nullopt;
  }
  return value;
}

std::optional<std::pair<int16_t, int16_t>> TextFormat::parseRange(const std::string& text) {
  const size_t comma = text.find(',');
  if (comma == std::string::npos) return std::nullopt;
  std::optional<long> start = parseNumber(text.substr(0, comma), -32768, 32767);
  std::optional<long> end = parseNumber(text.substr(comma + 1), -32768, 32767);
  if (!start || !end) return std::nullopt;
  return std::make_pair(static_cast<int16_t>(*start), static_cast<int16_t>(*end));
}

std::optional<std::string> TextFormat::parseAddress(const std::string& text) {
  std::string address;
  for (char c : text) {
    if (c == ':' || c == '-') continue;
    if (hexDigit(c) < 0) return std::nullopt;
    address.push_back(static_cast<char>(std::tolower(static_cast<unsigned char>(c))));
  }
  if (address.size() != 12) return std::nullopt;
  return address;
}

std::optional<TextFormat::DescriptorItems> TextFormat::descriptorItems(const std::vector<uint8_t>& in) {
  std::vector<std::pair<std::string, std::string>> items;
  if (in.empty()) return items;
  // [total length] then sections of [section size][key length][key][value length][value].
  const size_t end = std::min(static_cast<size_t>(in[0]) + 1, in.size());
  size_t at = 1;
  while (at < end) {
    if (at + 2 > end) return std::nullopt;
    const size_t keyLength = in[at + 1];
    if (at + 2 + keyLength + 1 > end) return std::nullopt;
    const std::string key(in.begin() + static_cast<std::ptrdiff_t>(at + 2),
                          in.begin() + static_cast<std::ptrdiff_t>(at + 2 + keyLength));
    const size_t valueLength = in[at + 2 + keyLength];
    const size_t valueStart = at + 3 + keyLength;
    if (valueStart + valueLength > end) return std::nullopt;
    const std::vector<uint8_t> value(in.begin() + static_cast<std::ptrdiff_t>(valueStart),
                                     in.begin() + static_cast<std::ptrdiff_t>(valueStart + valueLength));
    // A first-generation serial (five packed decimal bytes) reads as its digits; the MAC comes least
    // significant byte first and is shown in the order of the reader's address.
    if (key == "MAC") {
      items.emplace_back(key, hex(std::vector<uint8_t>(value.rbegin(), value.rend())));
    } else {
      const bool packed = key == "Serial" && valueLength == 5;
      items.emplace_back(key, packed ? hex(value) : std::string(value.begin(), value.end()));
    }
    at = valueStart + valueLength;
  }
  return items;
}

namespace {

nlohmann::json decodedCard(uint8_t value) {
  switch (value) {
    case 1:
      return "absent";
    case 2:
      return "unidentified";
    case 6:
      return "present";
    default:
      return value;
  }
}

nlohmann::json decodedUsb(uint8_t value) {
  if (value == 0) return "disconnected";
  if (value == 1) return "connected";
  return "unknown";
}

}  // namespace

std::vector<TextFormat::Field> TextFormat::stateFields(const std::vector<uint8_t>& record) {
  std::vector<Field> fields;
  if (record.size() != 44) return fields;
  auto number = [&fields](const char* key, long value) { fields.push_back({key, std::to_string(value), value}); };
  auto decoded = [&fields](const char* key, long value, nlohmann::json json) {
    fields.push_back({key, std::to_string(value), std::move(json)});
  };
  decoded("connected", record[0], record[0] != 0);
  decoded("card", record[1], decodedCard(record[1]));
  number("battery", record[2]);
  decoded("encryption", record[3], record[3] != 0);
  number("atr", static_cast<uint16_t>(record[4] | (record[5] << 8)));
  decoded("usb", record[6], decodedUsb(record[6]));
  decoded("encryption-used", record[7], record[7] != 0);
  number("signal", record[8]);
  number("advertising", record[9]);
  number("display", record[10]);
  number("backlight", record[11]);
  number("contrast", record[12]);
  number("buzzer", record[13]);
  number("encryption-enabled", record[14]);
  number("coverage", static_cast<int8_t>(record[15]));
  std::string text;
  nlohmann::json ranges = nlohmann::json::array();
  for (size_t at = 16; at < 44; at += 4) {
    if (!text.empty()) text += ' ';
    const int16_t start = littleEndian16(record, at);
    const int16_t end = littleEndian16(record, at + 2);
    text += std::to_string(start) + "," + std::to_string(end);
    ranges.push_back({start, end});
  }
  fields.push_back({"ranges", text, ranges});
  return fields;
}

}  // namespace kelvo::cli
