// SPDX-License-Identifier: Apache-2.0
#pragma once
// The reader's side of the Pentaloq framing: it reads request frames and writes answer frames and the packets
// that carry them. Written from the reader's side, sharing nothing with the host's layers.

#include <cstddef>
#include <cstdint>
#include <optional>
#include <vector>

namespace kelvo::simulator {

class PentaloqFrames {
 public:
  static constexpr size_t kPacketSize = 256;
  static constexpr size_t kPacketHeader = 3;

  struct Frame {
    uint8_t function = 0;
    std::vector<uint8_t> payload;
  };

  static uint8_t crc8(const uint8_t* data, size_t length);
  static bool isKnownFunction(uint8_t function);
  // A request frame with a known function and a matching CRC. `exact`: nothing may follow the CRC; otherwise
  // trailing bytes (the cipher's zero fill) are ignored.
  static std::optional<Frame> parse(const std::vector<uint8_t>& bytes, bool exact);
  static std::vector<uint8_t> answer(uint8_t function, uint8_t code, const std::vector<uint8_t>& data);
  // An answer cut into packets: each one 0, the total length (little-endian), up to 253 answer bytes.
  static std::vector<std::vector<uint8_t>> packets(const std::vector<uint8_t>& answer);
};

}  // namespace kelvo::simulator
