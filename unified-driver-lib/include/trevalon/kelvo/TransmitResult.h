// SPDX-License-Identifier: Apache-2.0
#pragma once

#include <cstdint>
#include <vector>

namespace trevalon::kelvo {

// A reader's answer: its status byte and the payload after it.
struct TransmitResult {
  std::vector<uint8_t> payload;
  uint8_t status = 0xFF;
};

}  // namespace trevalon::kelvo
