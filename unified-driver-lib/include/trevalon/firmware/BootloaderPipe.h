// SPDX-License-Identifier: Apache-2.0
#pragma once
// The bulk OUT pipe of a reader's bootloader: what the flashing routines write to. Implemented over libusb for real
// bootloaders, and by tests and the emulator directly.

#include <cstddef>
#include <cstdint>

namespace trevalon {

class BootloaderPipe {
 public:
  virtual ~BootloaderPipe() = default;
  // Writes the bytes in one transfer; the number of bytes that went out (0 on failure).
  virtual size_t write(const uint8_t* data, size_t length) = 0;
};

}  // namespace trevalon
