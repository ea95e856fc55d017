// SPDX-License-Identifier: Apache-2.0
#pragma once
// Writes a firmware image into a reader's bootloader, byte for byte as each generation's bootloader expects it:
// erase, page by page (select the page, then its bytes), then the check that ends it. A failed step ends the run
// with its message; the caller starts again from the erase (a reader unplugged mid-page is written anew).

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "trevalon/firmware/BootloaderPipe.h"
#include "trevalon/firmware/FirmwareImage.h"

namespace trevalon {

class BootloaderRoutine {
 public:
  static constexpr int kSecondGenerationEraseWaitMs = 4000;

  struct Reporting {
    std::function<void(int percent)> progress;
    std::function<void(const std::string& message)> error;
    // The second generation's erase takes a while before the bootloader listens again.
    std::function<void(int milliseconds)> wait;
  };

  BootloaderRoutine(BootloaderPipe& pipe, Reporting reporting);

  // True when the whole image went out and the bootloader was told to check it.
  bool run(FirmwareImage::Generation generation, const std::vector<uint8_t>& image);

 private:
  bool runFirstGeneration(const std::vector<uint8_t>& image);
  bool runSecondGeneration(const std::vector<uint8_t>& image);
  bool send(const std::vector<uint8_t>& bytes);
  bool sendRange(const uint8_t* data, size_t length);
  bool fail(const std::string& message);

  BootloaderPipe& pipe;
  Reporting report;
};

}  // namespace trevalon
