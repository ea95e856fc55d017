// SPDX-License-Identifier: Apache-2.0
#pragma once
// The function codes of the Pentaloq protocol and the names the library prints for them.

#include <cstdint>
#include <string>
#include <vector>

namespace trevalon::token {

class TokenFunctions {
 public:
  enum Code : uint8_t {
    kSetTime = 0x10,
    kSendApdu = 0x15,
    kGetFirmware = 0x20,
    kGetHardware = 0x25,
    kGetSerial = 0x30,
    kGetBatteryLevel = 0x35,
    kPowerOff = 0x40,
    kInitializeCard = 0x45,
    kFinalizeCard = 0x50,
    kSetProtocol = 0x55,
    kWriteVariable = 0x60,
    kSyncronize = 0x65,
    kOpenFile = 0x70,
    kCloseFile = 0x75,
    kReadFile = 0x80,
    kWriteFile = 0x85,
    kDeleteFile = 0x90,
    kOpenDirectory = 0x95,
    kReadDirectory = 0xA0,
    kMountDisk = 0xA5,
    kReadVariable = 0xB0,
  };

  // "Unknown" for a code that is not in the table.
  static const char* name(uint8_t code);
  static bool isKnown(uint8_t code);

  // A request as trace lines show it, without its payload: "Syncronize [0x65] 9 bytes"; an APDU request adds the
  // APDU's header: "SendApdu [0x15] 13 bytes, APDU 00 20 00 81, 13 bytes".
  static std::string requestTrace(uint8_t code, const std::vector<uint8_t>& payload);
  // The same for a framed request (code, two length bytes, payload, CRC); anything else, a sealed frame say,
  // by its length only.
  static std::string frameTrace(const std::vector<uint8_t>& frame);
};

}  // namespace trevalon::token
