// SPDX-License-Identifier: Apache-2.0
#include "trevalon/ble/Uuid.h"

namespace trevalon::ble {
namespace {

constexpr size_t kTextLength = 36;

bool isDashPosition(size_t i) { return i == 8 || i == 13 || i == 18 || i == 23; }

int hexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

}  // namespace

std::optional<Uuid> Uuid::parse(const std::string& text) {
  if (text.size() != kTextLength) {
    return std::nullopt;
  }
  std::array<uint8_t, 16> bytes{};
  size_t byte = 0;
  for (size_t i = 0; i < kTextLength;) {
    if (isDashPosition(i)) {
      if (text[i] != '-') return std::nullopt;
      ++i;
      continue;
    }
    const int high = hexValue(text[i]);
    const int low = hexValue(text[i + 1]);
    if (high < 0 || low < 0) return std::nullopt;
    bytes[byte++] = static_cast<uint8_t>(high << 4 | low);
    i += 2;
  }
  return Uuid(bytes);
}

std::string Uuid::toString() const {
  static const char digits[] = "0123456789abcdef";
  std::string text;
  text.reserve(kTextLength);
  for (size_t i = 0; i < value.size(); ++i) {
    if (i == 4 || i == 6 || i == 8 || i == 10) text += '-';
    text += digits[value[i] >> 4];
    text += digits[value[i] & 0x0f];
  }
  return text;
}

}  // namespace trevalon::ble
