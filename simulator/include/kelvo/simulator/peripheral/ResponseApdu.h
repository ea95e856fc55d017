// SPDX-License-Identifier: Apache-2.0
#pragma once
// A card's answer before it goes out: response data and the status word, with the status words the emulated
// card's applications answer.

#include <cstdint>
#include <vector>

namespace kelvo::simulator {

struct ResponseApdu {
  static constexpr uint16_t kOk = 0x9000;
  static constexpr uint16_t kMoreData = 0x6100;   // low byte: how many bytes GET RESPONSE fetches, 0 for 256+
  static constexpr uint16_t kTriesLeft = 0x63C0;  // low nibble: tries left
  static constexpr uint16_t kWrongLength = 0x6700;
  static constexpr uint16_t kLastOfChainExpected = 0x6883;
  static constexpr uint16_t kSecurityNotSatisfied = 0x6982;
  static constexpr uint16_t kBlocked = 0x6983;
  static constexpr uint16_t kConditionsNotSatisfied = 0x6985;
  static constexpr uint16_t kWrongData = 0x6A80;
  static constexpr uint16_t kNotFound = 0x6A82;
  static constexpr uint16_t kWrongParameters = 0x6A86;
  static constexpr uint16_t kReferenceNotFound = 0x6A88;
  static constexpr uint16_t kInstructionUnknown = 0x6D00;
  static constexpr uint16_t kClassUnknown = 0x6E00;

  std::vector<uint8_t> data;
  uint16_t status = kOk;

  static ResponseApdu of(uint16_t status) { return {{}, status}; }
  std::vector<uint8_t> bytes() const {
    std::vector<uint8_t> response = data;
    response.push_back(static_cast<uint8_t>(status >> 8));
    response.push_back(static_cast<uint8_t>(status));
    return response;
  }
};

}  // namespace kelvo::simulator
