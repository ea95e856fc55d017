// SPDX-License-Identifier: Apache-2.0
#pragma once
// A fault the emulated Pentaloq reader puts into its answers, so that tests can watch the host cope.

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace kelvo::simulator {

struct PentaloqFault {
  enum class Kind {
    resultCode,     // "result-code": the answer carries result code `code`, its data unchanged
    emptyResult,    // "empty-result": the answer's payload is empty (length 0)
    corruptCrc,     // "corrupt-crc": the answer's CRC byte is wrong
    otherFunction,  // "other-function": the answer names another function than the request
    dropPacket,     // "drop-packet": the answer packets listed in `packets` are never sent
    badPacket,      // "bad-packet": the answer packets listed in `packets` start with 0x01 instead of 0
    silent,         // "silent": no answer at all
    delay,          // "delay": the answer waits `delayMs` milliseconds
    dropLink,       // "drop-link": the link drops instead of the answer
  };

  Kind kind = Kind::resultCode;
  // Only answers to this function code are affected; any answer when absent.
  std::optional<uint8_t> function;
  uint8_t code = 0;
  std::vector<int> packets;
  int delayMs = 0;
  // How many answers it still affects; 0 affects every one.
  int times = 1;
};

std::optional<PentaloqFault::Kind> parsePentaloqFaultKind(const std::string& name);
std::vector<std::string> pentaloqFaultKindNames();

}  // namespace kelvo::simulator
