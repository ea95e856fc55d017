// SPDX-License-Identifier: Apache-2.0
// kelvo-sim-image: writes a second-generation firmware image that the emulated readers accept (their own check of
// header and signature, docs/emulator.md), for tests and demonstrations of flashing.
#include <cstdlib>
#include <fstream>
#include <iostream>
#include <string>
#include <vector>

#include "kelvo/simulator/kelvo/SignedFirmwareImage.h"

int main(int argc, char** argv) {
  if (argc != 4) {
    std::cerr << "usage: kelvo-sim-image VERSION PAGES OUT\n"
                 "  VERSION major.minor.patch (each 0..255), PAGES 0..65535 pages of 2048 bytes\n";
    return 2;
  }
  const long pages = std::strtol(argv[2], nullptr, 10);
  if (pages < 0 || pages > 65535) {
    std::cerr << "kelvo-sim-image: PAGES must be 0..65535\n";
    return 2;
  }
  const std::vector<uint8_t> image = kelvo::simulator::SignedFirmwareImage::make(argv[1], static_cast<uint16_t>(pages));
  std::ofstream out(argv[3], std::ios::binary);
  out.write(reinterpret_cast<const char*>(image.data()), static_cast<std::streamsize>(image.size()));
  if (!out) {
    std::cerr << "kelvo-sim-image: cannot write " << argv[3] << "\n";
    return 1;
  }
  return 0;
}
