// SPDX-License-Identifier: Apache-2.0
#include "CampaignRequest.h"

namespace kelvo::campaign {

const char* CampaignRequest::nameOf(Kind kind) {
  switch (kind) {
    case Kind::descriptor:
      return "descriptor";
    case Kind::deviceState:
      return "device-state";
    case Kind::setSetting:
      return "set-setting";
    case Kind::setRanges:
      return "set-ranges";
    case Kind::indicate:
      return "indicate";
    case Kind::readSettings:
      return "rpc-get-settings";
    case Kind::readRanges:
      return "rpc-get-ranges";
    case Kind::batteryLevel:
      return "rpc-battery-level";
    case Kind::batteryState:
      return "rpc-battery-state";
    case Kind::readerState:
      return "rpc-device-state";
    case Kind::smartCard:
      return "rpc-scard";
    case Kind::driverVersion:
      return "driver-version";
  }
  return "?";
}

}  // namespace kelvo::campaign
