// SPDX-License-Identifier: Apache-2.0
#include "trevalon/token/TokenCrc8.h"

namespace trevalon::token {

uint8_t TokenCrc8::of(const uint8_t* data, size_t length) {
  uint8_t crc = 0;
  for (size_t i = 0; i < length; ++i) {
    uint8_t byte = data[i];
    for (int bit = 0; bit < 8; ++bit) {
      const bool mix = ((crc ^ byte) & 1) != 0;
      crc = static_cast<uint8_t>(crc >> 1);
      if (mix) crc ^= 0x8C;
      byte = static_cast<uint8_t>(byte >> 1);
    }
  }
  return crc;
}

}  // namespace trevalon::token
