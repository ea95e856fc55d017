// SPDX-License-Identifier: Apache-2.0
#pragma once
// One firmware image and the readers it fits, as a descriptor file names them. Made once from its descriptor and
// never changed; shared by the catalogue, the reader it is offered to and the flashing step.

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "trevalon/firmware/FirmwarePattern.h"
#include "trevalon/firmware/FirmwareVersion.h"

namespace trevalon {

struct Firmware {
  std::string name;
  std::string description;
  int64_t date = 0;  // seconds since the epoch; 0 when the descriptor's date does not parse
  FirmwareVersion version;
  std::vector<uint8_t> data;
  std::string id;  // the descriptor's file name without folder and extension
  std::shared_ptr<FirmwarePattern> firmwarePattern;
  std::shared_ptr<FirmwarePattern> hardwarePattern;
  std::shared_ptr<FirmwarePattern> bootloaderPattern;
  std::shared_ptr<FirmwarePattern> serialPattern;
  std::shared_ptr<FirmwarePattern> methodPattern;
};

}  // namespace trevalon
