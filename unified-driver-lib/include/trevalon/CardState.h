// SPDX-License-Identifier: Apache-2.0
#pragma once
// The card state of a slot. Values below 0x80 are those of the PC/SC reader states; bit 7 marks a card that the
// card-state proxy has powered down to save the reader's battery.

#include <cstdint>

namespace trevalon {

using CardState = uint8_t;

enum : CardState {
  kCardUnknown = 0,  // also whenever the reader is not connected
  kCardAbsent = 1,
  kCardPresent = 2,
  kCardSwallowed = 3,  // present, not powered
  kCardPowered = 4,
  kCardNegotiable = 5,  // ATR known, protocol not chosen
  kCardSpecific = 6,    // protocol chosen
  kCardUnidentified = 0x81,
  kCardAsleepPowered = 0x83,
  kCardAsleepNegotiable = 0x85,
  kCardAsleepSpecific = 0x86,
};

// Transmission protocols, the PC/SC values.
enum : uint32_t {
  kProtocolT0 = 1,
  kProtocolT1 = 2,
  kProtocolAny = 3,
  kProtocolDefault = 0x80000000u,
  kProtocolNone = 0xFFFFFFFFu,
};

}  // namespace trevalon
