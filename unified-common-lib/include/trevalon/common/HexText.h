// SPDX-License-Identifier: Apache-2.0
#pragma once
// Bytes as lower-case hexadecimal text, two digits each, for log lines, traces and descriptor values.

#include <cstdint>
#include <limits>
#include <string>
#include <vector>

namespace trevalon::common {

class HexText {
 public:
  // At most `shownBytes` bytes are written; a longer input ends in "...(N bytes)".
  static std::string of(const std::vector<uint8_t>& bytes, size_t shownBytes = std::numeric_limits<size_t>::max());
};

}  // namespace trevalon::common
