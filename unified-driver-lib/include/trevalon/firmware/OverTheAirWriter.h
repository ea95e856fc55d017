// SPDX-License-Identifier: Apache-2.0
#pragma once
// Writes a signed firmware image into a running reader's external flash through its RPC, piece by piece, and then
// sends the reader into its bootloader to install it. The RPC exchange is the caller's (the application's device
// model, or the library's device request), so the same steps serve both.

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace trevalon {

class OverTheAirWriter {
 public:
  // One RPC exchange: the request (method byte first), the reader's response, or nothing when it failed.
  using Exchange = std::function<std::optional<std::vector<uint8_t>>(const std::vector<uint8_t>& request)>;

  static constexpr uint8_t kWriteExternalFlash = 20;
  static constexpr uint8_t kGotoBootloader = 22;
  static constexpr uint8_t kStatusNotSupported = 2;
  // The answer of a transfer that failed on the way: it says nothing about the reader.
  static constexpr uint8_t kStatusTransferFailed = 0x81;
  static constexpr int kProbeAttempts = 3;

  struct Reporting {
    std::function<void(int percent)> progress;
    std::function<void(const std::string& message)> error;
  };

  // The reader accepts over-the-air writes: the probe's answer has a first byte other than "not supported". A
  // transfer that failed is asked again (kProbeAttempts in all); a reader that never answers takes nothing over the
  // air, so a reader that has just left for its USB bootloader is looked for there.
  static bool supported(const Exchange& exchange);
  static std::vector<uint8_t> pieceRequest(const std::vector<uint8_t>& image, size_t offset, size_t length);
  // Every piece written with status 0; progress after each as the pieces say. False after the first failure.
  static bool write(const std::vector<uint8_t>& signedImage, const Exchange& exchange, const Reporting& reporting);
  // GotoBootloader with the mode; true when the reader answered that it cannot, so the caller indicates instead.
  static bool bootloaderRequestRefused(const Exchange& exchange, uint8_t mode);
};

}  // namespace trevalon
