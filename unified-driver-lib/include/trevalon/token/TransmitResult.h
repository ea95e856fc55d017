// SPDX-License-Identifier: Apache-2.0
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace trevalon::token {

// A Pentaloq reader's answer: its result code and the result data after it.
struct TransmitResult {
  static constexpr uint8_t kFailed = 0xFF;

  std::vector<uint8_t> data;
  uint8_t code = kFailed;

  // The code in hexadecimal, ", ", then the data's length, as trace lines show it: the data is a decrypted
  // answer (a card's response, a key check) and stays out of the log.
  std::string toString() const;
};

}  // namespace trevalon::token
