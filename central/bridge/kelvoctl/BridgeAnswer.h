// SPDX-License-Identifier: Apache-2.0
#pragma once
// Reads the Bridge's answers, [length][code][payload], within the bytes that arrived and the answer's own length,
// whichever is shorter. Each reader says whether the answer was long enough for what it takes from it.

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

class BridgeAnswer {
 public:
  static constexpr uint8_t kRpcCode = 0x96;
  static constexpr size_t kAddressBytes = 6;

  explicit BridgeAnswer(std::vector<uint8_t> received);

  size_t size() const { return bytes.size(); }
  // The payload, after the length and code bytes.
  std::vector<uint8_t> payload() const;
  // select_device and send_passkey: byte 1; false when the answer is shorter than 2 bytes.
  bool result(int& value) const;
  // The status word (little-endian) and, when the answer has it, the connection id (big-endian; 0 otherwise).
  bool status(uint16_t& word, uint16_t& connectionId) const;
  // Each 6-byte address of the payload; six 0xFF bytes stand for none and are skipped.
  bool pairedAddresses(const std::function<void(const uint8_t* address)>& visit) const;
  // The text of a name answer (the whole payload) or of a version answer (the payload without its terminator).
  bool name(std::string& text) const;
  bool version(std::string& text) const;
  // An indication's outcome: payload byte 0 (0 = done) and the Bridge's control status.
  bool indication(bool& done, uint8_t& controlStatus) const;
  // An RPC answer: code 0x96 and the reader's response as its payload.
  bool rpc(std::vector<uint8_t>& response) const;

 private:
  std::vector<uint8_t> bytes;
};
