// SPDX-License-Identifier: Apache-2.0
#include "trevalon/kelvo/KelvoNames.h"

#include <cstdio>

#include "trevalon/common/ExchangeDescriber.h"

namespace trevalon::kelvo {
namespace {

constexpr uint8_t kSCard = 2;
constexpr uint8_t kSCardApdu = 5;

// The payload starts `offset` bytes into `bytes`.
std::string describeRequest(uint8_t method, const std::vector<uint8_t>& bytes, size_t offset) {
  const size_t size = bytes.size() - offset;
  std::string text = common::ExchangeDescriber::request(KelvoNames::method(method), method, size);
  if (method != kSCard || size == 0) return text;
  const uint8_t kind = bytes[offset];
  if (kind == kSCardApdu) return text + ", " + common::ExchangeDescriber::apdu(bytes, offset + 1);
  return text + ", " + KelvoNames::smartCard(kind);
}

}  // namespace

const char* KelvoNames::method(uint8_t id) {
  switch (id) {
    case 0:
      return "GetMethods";
    case 1:
      return "GetDeviceDescriptor";
    case 2:
      return "SCard";
    case 3:
      return "ExchangeKey";
    case 4:
      return "SetMobDeviceName";
    case 5:
      return "GetBatteryLevel";
    case 8:
      return "GetSettings";
    case 9:
      return "SetSettings";
    case 10:
      return "SetLocalTime";
    case 11:
      return "GetWorkingTimeRanges";
    case 12:
      return "SetWorkingTimeRanges";
    case 13:
      return "GetDeviceState";
    case 14:
      return "GetBondedDevices";
    case 15:
      return "RemoveBondedDeviceByIndex";
    case 16:
      return "MaxRequestSize";
    case 17:
      return "GetBatteryState";
    case 20:
      return "WriteExternalFlash";
    case 21:
      return "ReadExternalFlash";
    case 22:
      return "GotoBotloader";
    case 23:
      return "FIDO2USBHID";
    case 24:
      return "SetPin";
    case 64:
      return "SetConnectionIntervalDynamic";
    case 65:
      return "SetConnectionIntervalParameters";
    case 66:
      return "SetInitialBLESecurity";
    case 67:
      return "SetResponsePacketDataSize";
    case 68:
      return "GetGaugeParameters";
    case 69:
      return "SetAdvertisingIntervalParameters";
    case 70:
      return "SetAdvertisingIntervalDynamic";
    case 71:
      return "GetRSSIStats";
    case 72:
      return "GetLoggedEvents";
    case 160:
      return "ExchangeSessionKey";
    case 240:
      return "GetRandomBytes";
    case 255:
      return "EncryptionMarker";
    default:
      return "Unknown";
  }
}

const char* KelvoNames::notification(uint8_t id) {
  switch (id) {
    case 1:
      return "CardStatus";
    case 2:
      return "MobFinder";
    case 3:
      return "EncryptionSwitched";
    case 4:
      return "BatteryAlert";
    case 5:
      return "SettingChanged";
    case 6:
      return "UsbCableStatus";
    case 7:
      return "BatteryLevelChanged";
    default:
      return "Unknown";
  }
}

const char* KelvoNames::command(uint8_t id) {
  switch (id) {
    case 1:
      return "RepeatCardStatus";
    case 2:
      return "StopMobDeviceSearching";
    case 3:
      return "RepeatEncryptionStatus";
    case 4:
      return "ForceBootMode";
    case 5:
      return "SetSetting";
    case 6:
      return "RepeatUsbCableStatus";
    case 7:
      return "SaveEncryptionKey";
    case 8:
      return "PostDisconnection";
    default:
      return "Unknown";
  }
}

const char* KelvoNames::smartCard(uint8_t kind) {
  switch (kind) {
    case 1:
      return "Reset";
    case 2:
      return "TPDU_LS";
    case 3:
      return "TPDU_HS";
    case 4:
      return "Shutdown";
    case 5:
      return "APDU";
    default:
      return "Unknown";
  }
}

std::string KelvoNames::methodTrace(uint8_t id) {
  char text[64];
  std::snprintf(text, sizeof text, "%s [0x%02x]", method(id), id);
  return text;
}

std::string KelvoNames::requestTrace(uint8_t method, const std::vector<uint8_t>& payload) {
  return describeRequest(method, payload, 0);
}

std::string KelvoNames::requestTrace(const std::vector<uint8_t>& request) {
  if (request.empty()) return "empty request";
  return describeRequest(request[0], request, 1);
}

}  // namespace trevalon::kelvo
