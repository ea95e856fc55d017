// SPDX-License-Identifier: Apache-2.0
#pragma once
// kelvo-cli flash ADDR IMAGE: writes a signed firmware image into a running reader over the air (the reader's
// external flash, then its bootloader installs it) and waits for the reader to come back with its new firmware.
// With --usb the reader is sent into its USB bootloader instead, which is looked for on the USB bus each second
// and written page by page; a failed attempt starts again from the erase until the time is up. Once written, the
// firmware the reader comes back with is shown.

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "TextFormat.h"
#include "trevalon/Device.h"

namespace kelvo::cli {

class FlashCommand {
 public:
  static constexpr size_t kMaxImageBytes = size_t{16} * 1024 * 1024;
  static constexpr int kComeBackSeconds = 60;

  // Reads the reader's descriptor; nothing when it cannot be read (yet).
  using DescriptorReader = std::function<std::optional<TextFormat::DescriptorItems>()>;

  static int run(const std::shared_ptr<trevalon::Device>& device, const std::string& imagePath,
                 const DescriptorReader& readDescriptor);
  static int runUsb(const std::shared_ptr<trevalon::Device>& device, const std::string& imagePath,
                    const DescriptorReader& readDescriptor);
  static constexpr int kUsbSeconds = 120;

 private:
  static bool readImage(const std::string& path, std::vector<uint8_t>& image);
  // The firmware the reader names once it answers again; empty when it does not within kComeBackSeconds.
  static std::string firmwareOnComeBack(const DescriptorReader& readDescriptor);
  static std::string firmwareOf(const std::optional<TextFormat::DescriptorItems>& items);
  static std::string valueOf(const std::optional<TextFormat::DescriptorItems>& items, const std::string& key);
};

}  // namespace kelvo::cli
