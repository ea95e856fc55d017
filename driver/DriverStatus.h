// SPDX-License-Identifier: Apache-2.0
#pragma once
// The status byte that opens every answer of the driver. 0, 1, 5 and 6 are the in-process request codes; the
// others are the driver's own. 250 to 253 say something about the connection rather than the reader's answer:
// the client gets none of the reader's payload with them.

#include <cstdint>

namespace kelvo::driver {

enum DriverStatus : uint8_t {
  kStatusSuccess = 0,
  kStatusWrongSize = 5,  // a request record of the wrong size, or a request larger than the driver accepts
  kStatusRefused = 6,
  kStatusUnknownRequest = 7,   // a request code the driver does not serve
  kStatusKeyResetNeeded = 9,   // descriptor only: the reader's key must be reset before it can be used
  kStatusNoCard = 10,          // card channel: no card in the reader
  kStatusCardMute = 11,        // card channel: the card gave no ATR or no response
  kStatusAccessRefused = 250,  // the peer may not use the readers; nothing of its request was read
  kStatusBusy = 251,           // the request never reached the reader: it was busy, or the uid had too many
                               // connections open
  kStatusTimedOut = 252,       // the request reached the reader but had no answer in time; its effect is unknown
  kStatusDeviceRemoved = 253,  // the reader was lost while the request was served
};

}  // namespace kelvo::driver
