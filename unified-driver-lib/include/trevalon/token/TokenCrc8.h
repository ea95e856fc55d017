// SPDX-License-Identifier: Apache-2.0
#pragma once
// The CRC-8 that protects Pentaloq frames: reflected polynomial 0x8C, initial value 0, no final XOR.

#include <cstddef>
#include <cstdint>

namespace trevalon::token {

class TokenCrc8 {
 public:
  static uint8_t of(const uint8_t* data, size_t length);
};

}  // namespace trevalon::token
