// SPDX-License-Identifier: Apache-2.0
#include "FlashCommand.h"

#include <chrono>
#include <fstream>
#include <iterator>
#include <thread>

#include "Output.h"
#include "trevalon/classic/DevicePipe.h"
#include "trevalon/firmware/BootloaderRoutine.h"
#include "trevalon/firmware/OverTheAirWriter.h"
#include "trevalon/usb/ReaderUsbIds.h"
#include "trevalon/usb/UsbBus.h"

namespace kelvo::cli {

namespace {

using trevalon::OverTheAirWriter;
using DevicePipe = trevalon::classic::DevicePipe;

// The indication that sends a reader without the RPC into its bootloader.
constexpr uint8_t kIndicationBootloader = 4;
constexpr uint8_t kBootFromExternalFlash = 1;
constexpr uint8_t kBootIntoUsbBootloader = 0;

// The reader's RPC through the library's device request.
OverTheAirWriter::Exchange exchangeWith(const std::shared_ptr<trevalon::Device>& device) {
  return [device](const std::vector<uint8_t>& request) {
    std::vector<uint8_t> response;
    if (DevicePipe::InvokeTransmitRpc(device, request, response) != DevicePipe::kSuccess) {
      return std::optional<std::vector<uint8_t>>();
    }
    return std::optional<std::vector<uint8_t>>(response);
  };
}

// A reader whose firmware cannot switch over RPC enters the bootloader on an indication instead.
void sendToBootloader(const std::shared_ptr<trevalon::Device>& device, const OverTheAirWriter::Exchange& exchange,
                      uint8_t mode) {
  if (OverTheAirWriter::bootloaderRequestRefused(exchange, mode)) {
    DevicePipe::InvokeIndicate(device, {kIndicationBootloader, 0, 0});
  }
}

int failed(const std::string& message) {
  Output::error(message);
  return 1;
}

}  // namespace

bool FlashCommand::readImage(const std::string& path, std::vector<uint8_t>& image) {
  std::ifstream file(path, std::ios::binary);
  if (!file) return false;
  image.assign(std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>());
  return !file.bad() && image.size() <= kMaxImageBytes;
}

std::string FlashCommand::valueOf(const std::optional<TextFormat::DescriptorItems>& items, const std::string& key) {
  if (!items) return std::string();
  for (const auto& item : *items) {
    if (item.first == key) return item.second;
  }
  return std::string();
}

std::string FlashCommand::firmwareOf(const std::optional<TextFormat::DescriptorItems>& items) {
  return valueOf(items, "Firmware");
}

int FlashCommand::runUsb(const std::shared_ptr<trevalon::Device>& device, const std::string& imagePath,
                         const DescriptorReader& readDescriptor) {
  std::vector<uint8_t> image;
  if (!readImage(imagePath, image)) return failed("cannot read the image " + imagePath + " (at most 16 MiB)");
  const std::string serial = valueOf(readDescriptor(), "Serial");
  const trevalon::FirmwareImage::Generation generation = trevalon::FirmwareImage::generationOf(serial);
  if (generation == trevalon::FirmwareImage::Generation::unknown) return failed("Unknown Device type to flash!");
  std::string error;
  if (!trevalon::usb::UsbBus().usable(error)) return failed(error);
  const OverTheAirWriter::Exchange exchange = exchangeWith(device);
  sendToBootloader(device, exchange, kBootIntoUsbBootloader);
  Output::field("bootloader", std::to_string(kBootIntoUsbBootloader), kBootIntoUsbBootloader);
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(kUsbSeconds);
  bool connected = false;
  while (std::chrono::steady_clock::now() < deadline) {
    // A fresh bus each time scans the devices anew, so a bootloader that appeared since is seen without hotplug.
    trevalon::usb::UsbBus bus;
    std::string reason;
    std::unique_ptr<trevalon::usb::UsbBulkPipe> pipe =
        bus.openBulkOut(trevalon::usb::ReaderUsbIds::bootloader(generation), serial, reason);
    if (pipe && !connected) Output::repeated("usb", "connected", "connected");
    if (!pipe && connected) Output::repeated("usb", "disconnected", "disconnected");
    connected = pipe != nullptr;
    if (pipe) {
      trevalon::BootloaderRoutine routine(
          *pipe, {[](int percent) { Output::repeated("progress", std::to_string(percent), percent); },
                  [](const std::string& message) { Output::note(message); },
                  [](int milliseconds) { std::this_thread::sleep_for(std::chrono::milliseconds(milliseconds)); }});
      if (routine.run(generation, image)) {
        Output::field("flashed", "usb");
        // The bootloader answers nothing; what the reader runs once it is back on the air tells whether its check
        // took the image. A first-generation image carries no version to compare with, so this only reports it.
        const std::string after = firmwareOnComeBack(readDescriptor);
        if (!after.empty()) Output::field("firmware", after);
        return 0;
      }
    }
    std::this_thread::sleep_for(std::chrono::seconds(1));
  }
  return failed("the bootloader of " + serial + " was not written within " + std::to_string(kUsbSeconds) + " s");
}

int FlashCommand::run(const std::shared_ptr<trevalon::Device>& device, const std::string& imagePath,
                      const DescriptorReader& readDescriptor) {
  std::vector<uint8_t> image;
  if (!readImage(imagePath, image)) return failed("cannot read the image " + imagePath + " (at most 16 MiB)");
  const OverTheAirWriter::Exchange exchange = exchangeWith(device);
  const std::string before = firmwareOf(readDescriptor());
  if (!OverTheAirWriter::supported(exchange)) {
    return failed("reader " + device->getAddress() + " does not take firmware over the air");
  }
  std::string error;
  const bool written =
      OverTheAirWriter::write(image, exchange,
                              {[](int percent) { Output::repeated("progress", std::to_string(percent), percent); },
                               [&error](const std::string& message) { error = message; }});
  if (!written) return failed(error);
  sendToBootloader(device, exchange, kBootFromExternalFlash);
  Output::field("bootloader", std::to_string(kBootFromExternalFlash), kBootFromExternalFlash);
  const std::string after = firmwareOnComeBack(readDescriptor);
  if (after.empty()) return failed("the reader did not come back within " + std::to_string(kComeBackSeconds) + " s");
  Output::field("firmware", after);
  if (after == before) return failed("the reader came back with its old firmware " + before);
  return 0;
}

// The reader restarts, installs the image and comes back; its descriptor then names what it runs.
std::string FlashCommand::firmwareOnComeBack(const DescriptorReader& readDescriptor) {
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(kComeBackSeconds);
  while (std::chrono::steady_clock::now() < deadline) {
    std::string after = firmwareOf(readDescriptor());
    if (!after.empty()) return after;
    std::this_thread::sleep_for(std::chrono::milliseconds(500));
  }
  return std::string();
}

}  // namespace kelvo::cli
