// SPDX-License-Identifier: Apache-2.0
#pragma once
// A fault the emulated reader injects into its answers, so that tests can watch the host cope with a bad
// radio or a misbehaving reader.

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace kelvo::simulator {

struct KelvoReaderFault {
  enum class Kind {
    dropPackage,      // "drop-package": the packages listed in `packages` are never sent
    repeatPackage,    // "repeat-package": the packages listed are sent twice
    reorderPackages,  // "reorder-packages": packages go out in the order of `packages`, the rest after
    corruptTag,       // "corrupt-tag": the last byte of an encrypted answer is flipped
    delay,            // "delay": the answer waits `delayMs` milliseconds
    dropLink,         // "drop-link": the link drops after `afterPackages` packages of the answer
    longValue,        // "long-value": the readable characteristic `characteristic` holds 30 bytes
  };

  Kind kind = Kind::dropPackage;
  // Only answers to requests of this method are affected; any answer when absent.
  std::optional<uint8_t> method;
  std::vector<int> packages;
  int delayMs = 0;
  int afterPackages = 0;
  uint16_t characteristic = 0x0006;
  // How many answers it still affects; 0 affects every one.
  int times = 1;
};

std::optional<KelvoReaderFault::Kind> parseReaderFaultKind(const std::string& name);

}  // namespace kelvo::simulator
