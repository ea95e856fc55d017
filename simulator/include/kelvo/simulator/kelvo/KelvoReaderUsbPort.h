// SPDX-License-Identifier: Apache-2.0
#pragma once
// Where an emulated reader shows itself on USB: as the reader while its cable is in, as its bootloader once it has
// been sent there, or not at all. An emulated USB bus implements it (UsbWorldLink); the reader tells it each change.

#include <string>

namespace kelvo::simulator {

class KelvoReaderUsbPort {
 public:
  enum class Presence { none, reader, bootloader };

  virtual ~KelvoReaderUsbPort() = default;
  // Called with the reader's lock held: it must not call back into the reader.
  virtual void show(const std::string& serial, int generation, Presence presence) = 0;
};

}  // namespace kelvo::simulator
