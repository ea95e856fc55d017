#pragma once
// The names of methods, notifications, commands and smart-card kinds as they appear in the log.

#include <cstdint>
#include <string>

namespace trevalon::kelvo {

class KelvoNames {
 public:
  static const char* method(uint8_t id);
  static const char* notification(uint8_t id);
  static const char* command(uint8_t id);
  static const char* smartCard(uint8_t kind);
  // "GetDeviceState [0x0d]"
  static std::string methodTrace(uint8_t id);
};

}  // namespace trevalon::kelvo
