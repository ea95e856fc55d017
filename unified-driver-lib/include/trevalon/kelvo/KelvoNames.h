// SPDX-License-Identifier: Apache-2.0
#pragma once
// The names of methods, notifications, commands and smart-card kinds as they appear in the log.

#include <cstdint>
#include <string>
#include <vector>

namespace trevalon::kelvo {

class KelvoNames {
 public:
  static const char* method(uint8_t id);
  static const char* notification(uint8_t id);
  static const char* command(uint8_t id);
  static const char* smartCard(uint8_t kind);
  // "GetDeviceState [0x0d]"
  static std::string methodTrace(uint8_t id);
  // A request as trace lines show it, without its payload: "GetDeviceState [0x0d] 0 bytes". A smart-card request
  // adds its kind and, for an APDU, the APDU's header: "SCard [0x02] 14 bytes, APDU 00 20 00 81, 13 bytes".
  static std::string requestTrace(uint8_t method, const std::vector<uint8_t>& payload);
  // The same for a whole request, its method byte first.
  static std::string requestTrace(const std::vector<uint8_t>& request);
};

}  // namespace trevalon::kelvo
