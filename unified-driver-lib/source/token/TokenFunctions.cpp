// SPDX-License-Identifier: Apache-2.0
#include "trevalon/token/TokenFunctions.h"

#include <cstring>

#include "trevalon/common/ExchangeDescriber.h"

namespace trevalon::token {

const char* TokenFunctions::name(uint8_t code) {
  switch (code) {
    case kSetTime:
      return "SetTime";
    case kSendApdu:
      return "SendApdu";
    case kGetFirmware:
      return "GetFirmware";
    case kGetHardware:
      return "GetHardware";
    case kGetSerial:
      return "GetSerial";
    case kGetBatteryLevel:
      return "GetBatteryLevel";
    case kPowerOff:
      return "PowerOff";
    case kInitializeCard:
      return "InitializeCard";
    case kFinalizeCard:
      return "FinalizeCard";
    case kSetProtocol:
      return "SetProtocol";
    case kWriteVariable:
      return "WriteVariable";
    case kSyncronize:
      return "Syncronize";
    case kOpenFile:
      return "OpenFile";
    case kCloseFile:
      return "CloseFile";
    case kReadFile:
      return "ReadFile";
    case kWriteFile:
      return "WriteFile";
    case kDeleteFile:
      return "DeleteFile";
    case kOpenDirectory:
      return "OpenDirectory";
    case kReadDirectory:
      return "ReadDirectory";
    case kMountDisk:
      return "MountDisk";
    case kReadVariable:
      return "ReadVariable";
    default:
      return "Unknown";
  }
}

bool TokenFunctions::isKnown(uint8_t code) { return std::strcmp(name(code), "Unknown") != 0; }

std::string TokenFunctions::requestTrace(uint8_t code, const std::vector<uint8_t>& payload) {
  std::string text = common::ExchangeDescriber::request(name(code), code, payload.size());
  if (code == kSendApdu) text += ", " + common::ExchangeDescriber::apdu(payload);
  return text;
}

std::string TokenFunctions::frameTrace(const std::vector<uint8_t>& frame) {
  constexpr size_t kHeaderSize = 3;
  if (frame.size() < kHeaderSize + 1 || !isKnown(frame[0])) return common::ExchangeDescriber::length(frame.size());
  const size_t length = static_cast<size_t>(frame[1]) | (static_cast<size_t>(frame[2]) << 8);
  if (frame.size() != kHeaderSize + length + 1) return common::ExchangeDescriber::length(frame.size());
  std::string text = common::ExchangeDescriber::request(name(frame[0]), frame[0], length);
  if (frame[0] == kSendApdu) {
    text += ", " + common::ExchangeDescriber::apdu(std::vector<uint8_t>(frame.begin() + kHeaderSize, frame.end() - 1));
  }
  return text;
}

}  // namespace trevalon::token
