// SPDX-License-Identifier: Apache-2.0
#pragma once
// What an emulated Pentaloq reader holds, for tests to read back.

#include <cstdint>
#include <optional>
#include <vector>

namespace kelvo::simulator {

struct PentaloqReaderState {
  struct Request {
    uint8_t function = 0;
    bool encrypted = false;
  };

  std::optional<uint32_t> clock;    // seconds since 1970 as the host set them
  std::optional<uint8_t> protocol;  // 0 for T=0, 1 for T=1
  bool cardPowered = false;
  bool hasKey = false;
  int keySets = 0;                          // "Syncronize" set requests that the reader accepted
  int keyChecks = 0;                        // "Syncronize" check requests
  std::vector<Request> requests;            // every request understood, in order
  std::vector<std::vector<uint8_t>> apdus;  // command APDUs the card received
};

}  // namespace kelvo::simulator
