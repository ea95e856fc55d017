// SPDX-License-Identifier: Apache-2.0
#include "trevalon/common/HexText.h"

#include <algorithm>

namespace trevalon::common {

std::string HexText::of(const std::vector<uint8_t>& bytes, size_t shownBytes) {
  static const char digits[] = "0123456789abcdef";
  const size_t shown = std::min(bytes.size(), shownBytes);
  std::string text;
  text.reserve(2 * shown);
  for (size_t i = 0; i < shown; ++i) {
    text += digits[bytes[i] >> 4];
    text += digits[bytes[i] & 0x0f];
  }
  if (shown < bytes.size()) {
    text += "...(" + std::to_string(bytes.size()) + " bytes)";
  }
  return text;
}

}  // namespace trevalon::common
