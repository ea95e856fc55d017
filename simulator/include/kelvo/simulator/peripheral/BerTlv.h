// SPDX-License-Identifier: Apache-2.0
#pragma once
// BER-TLV as smart-card applications write their data objects: tags of one to three bytes (kept as the number
// their bytes spell, 0x5FC102), lengths in the short form or the long forms 81 and 82. The parser bounds every
// length by the bytes it has and refuses trailing bytes, so a malformed template never reads past its data.

#include <cstddef>
#include <cstdint>
#include <optional>
#include <vector>

namespace kelvo::simulator {

class BerTlv {
 public:
  struct Element {
    uint32_t tag = 0;
    std::vector<uint8_t> value;
  };

  static std::vector<uint8_t> encode(uint32_t tag, const std::vector<uint8_t>& value);
  // Several elements one after the other, as a constructed value holds them.
  static std::vector<uint8_t> concatenate(const std::vector<std::vector<uint8_t>>& parts);
  // Empty when the bytes are not a whole sequence of elements.
  static std::optional<std::vector<Element>> parse(const std::vector<uint8_t>& data);

 private:
  static std::vector<uint8_t> tagBytes(uint32_t tag);
  static std::vector<uint8_t> lengthBytes(size_t length);
};

}  // namespace kelvo::simulator
