// SPDX-License-Identifier: Apache-2.0
#include "kelvo/simulator/pentaloq/PentaloqFrames.h"

#include <algorithm>

namespace kelvo::simulator {

uint8_t PentaloqFrames::crc8(const uint8_t* data, size_t length) {
  // Dallas/Maxim: reflected 0x31 is 0x8C, shifted out least significant bit first.
  uint8_t crc = 0;
  for (size_t i = 0; i < length; ++i) {
    crc ^= data[i];
    for (int bit = 0; bit < 8; ++bit) crc = (crc & 1) ? static_cast<uint8_t>((crc >> 1) ^ 0x8C) : crc >> 1;
  }
  return crc;
}

bool PentaloqFrames::isKnownFunction(uint8_t function) {
  static const uint8_t known[] = {0x10, 0x15, 0x20, 0x25, 0x30, 0x35, 0x40, 0x45, 0x50, 0x55, 0x60,
                                  0x65, 0x70, 0x75, 0x80, 0x85, 0x90, 0x95, 0xA0, 0xA5, 0xB0};
  return std::find(std::begin(known), std::end(known), function) != std::end(known);
}

std::optional<PentaloqFrames::Frame> PentaloqFrames::parse(const std::vector<uint8_t>& bytes, bool exact) {
  if (bytes.size() < 4 || !isKnownFunction(bytes[0])) return std::nullopt;
  const size_t length = bytes[1] | (static_cast<size_t>(bytes[2]) << 8);
  if (bytes.size() < length + 4 || (exact && bytes.size() != length + 4)) return std::nullopt;
  if (crc8(bytes.data(), length + 3) != bytes[length + 3]) return std::nullopt;
  Frame frame;
  frame.function = bytes[0];
  frame.payload.assign(bytes.begin() + 3, bytes.begin() + 3 + static_cast<std::ptrdiff_t>(length));
  return frame;
}

std::vector<uint8_t> PentaloqFrames::answer(uint8_t function, uint8_t code, const std::vector<uint8_t>& data) {
  const size_t length = data.size() + 1;
  std::vector<uint8_t> frame(length + 4);
  frame[0] = function;
  frame[1] = static_cast<uint8_t>(length);
  frame[2] = static_cast<uint8_t>(length >> 8);
  frame[3] = code;
  std::copy(data.begin(), data.end(), frame.begin() + 4);
  frame[length + 3] = crc8(frame.data(), length + 3);
  return frame;
}

std::vector<std::vector<uint8_t>> PentaloqFrames::packets(const std::vector<uint8_t>& answer) {
  std::vector<std::vector<uint8_t>> out;
  const size_t room = kPacketSize - kPacketHeader;
  for (size_t offset = 0; offset < answer.size(); offset += room) {
    const size_t taken = std::min(room, answer.size() - offset);
    std::vector<uint8_t> packet(kPacketHeader + taken);
    packet[0] = 0;
    packet[1] = static_cast<uint8_t>(answer.size());
    packet[2] = static_cast<uint8_t>(answer.size() >> 8);
    std::copy(answer.begin() + static_cast<std::ptrdiff_t>(offset),
              answer.begin() + static_cast<std::ptrdiff_t>(offset + taken), packet.begin() + kPacketHeader);
    out.push_back(std::move(packet));
  }
  return out;
}

}  // namespace kelvo::simulator
