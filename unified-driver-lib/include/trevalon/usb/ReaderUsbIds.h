// SPDX-License-Identifier: Apache-2.0
#pragma once
// The USB ids of the readers: their bootloaders per generation, and every id a reader has in any of its modes.

#include <vector>

#include "trevalon/firmware/FirmwareImage.h"
#include "trevalon/usb/UsbBus.h"

namespace trevalon::usb {

class ReaderUsbIds {
 public:
  static std::vector<UsbId> bootloader(FirmwareImage::Generation generation) {
    switch (generation) {
      case FirmwareImage::Generation::first:
        return {{0x6666, 0x9843}, {0x2DFF, 0x1440}, {0x2DFF, 0x1441}};
      case FirmwareImage::Generation::second:
        return {{0x2DFF, 0xB501}, {0x2DFF, 0xB502}};
      case FirmwareImage::Generation::unknown:
        break;
    }
    return {};
  }

  static std::vector<UsbId> anyMode() {
    return {{0x0451, 0x16AA}, {0x2DFF, 0x1540}, {0x2DFF, 0x1441}, {0x2DFF, 0xB501},
            {0x2DFF, 0xB502}, {0x2DFF, 0xB601}, {0x2DFF, 0xB602}};
  }
};

}  // namespace trevalon::usb
