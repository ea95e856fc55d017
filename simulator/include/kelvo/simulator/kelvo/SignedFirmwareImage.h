// SPDX-License-Identifier: Apache-2.0
#pragma once
// The emulated second-generation readers' firmware image, in the signed layout (an 11-byte header, whole 2048-byte
// pages, a 16-byte signature) with contents the emulator can check:
//   header: "KFW2", the version as three bytes (major, minor, patch), the page count (16 bits, big-endian), two zero
//           bytes;
//   signature: the first 16 bytes of SHA-256 over the header and the pages.
// An image that checks out is installed and the reader reports its version; any other leaves the old firmware.

#include <cstdint>
#include <string>
#include <vector>

namespace kelvo::simulator {

class SignedFirmwareImage {
 public:
  // version: "major.minor.patch", each 0..255.
  static std::vector<uint8_t> make(const std::string& version, uint16_t pages);
  // True with the version text when the image checks out; false with the reason otherwise.
  static bool check(const std::vector<uint8_t>& image, std::string& version, std::string& error);
};

}  // namespace kelvo::simulator
