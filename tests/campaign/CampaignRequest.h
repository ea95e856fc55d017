// SPDX-License-Identifier: Apache-2.0
#pragma once
// One request of the campaign: what it asks, of which reader, and the bytes that go to the driver's socket.

#include <cstdint>
#include <string>
#include <vector>

namespace kelvo::campaign {

struct CampaignRequest {
  enum class Kind {
    descriptor,     // driver request 1
    deviceState,    // driver request 2, the driver's record of the reader
    setSetting,     // driver request 3 on a setting the thread owns
    setRanges,      // driver request 4 on ranges the thread owns
    indicate,       // driver request 6 with a command that changes nothing
    readSettings,   // RPC GetSettings (8)
    readRanges,     // RPC GetWorkingTimeRanges (11)
    batteryLevel,   // RPC GetBatteryLevel (5)
    batteryState,   // RPC GetBatteryState (17)
    readerState,    // RPC GetDeviceState (13)
    smartCard,      // RPC SCard (2) with an APDU: the driver refuses it (status 6), the card is not its to reach
    driverVersion,  // driver request 16
  };

  Kind kind = Kind::descriptor;
  size_t reader = 0;
  std::vector<uint8_t> bytes;  // [code][payload] as written to the socket
  uint8_t settingId = 0;       // setSetting
  std::vector<uint8_t> value;  // setSetting: [value]; setRanges: the 28-byte record

  static const char* nameOf(Kind kind);
};

}  // namespace kelvo::campaign
