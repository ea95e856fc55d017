// SPDX-License-Identifier: Apache-2.0
#pragma once
// A command APDU as a card reads it: the header, the command data and the number of response bytes the host
// expects (Ne), in the short form (Lc and Le of one byte) or the extended form (a zero byte, then two-byte Lc
// and Le). An APDU whose length fields do not match its size is refused as a whole, as a card answers 67 00.

#include <cstddef>
#include <cstdint>
#include <optional>
#include <vector>

namespace kelvo::simulator {

class CommandApdu {
 public:
  static constexpr size_t kMaxShortResponse = 256;
  static constexpr size_t kMaxExtendedResponse = 65536;

  // Empty when the bytes are not one well-formed APDU of cases 1 to 4.
  static std::optional<CommandApdu> parse(const std::vector<uint8_t>& bytes);

  uint8_t cla = 0;
  uint8_t ins = 0;
  uint8_t p1 = 0;
  uint8_t p2 = 0;
  std::vector<uint8_t> data;
  bool extended = false;
  // Ne as the APDU states it; empty when it carries no Le field.
  std::optional<size_t> expected;

  // How many response bytes may go out at once: Ne, or the most the APDU's form allows when it gave no Le,
  // since hosts over T=1 often leave Le out and still read the answer.
  size_t responseLimit() const;
};

}  // namespace kelvo::simulator
