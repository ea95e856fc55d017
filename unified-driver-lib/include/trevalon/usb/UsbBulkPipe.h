// SPDX-License-Identifier: Apache-2.0
#pragma once
// An opened USB device's bulk OUT pipe with its interface claimed: what the flashing routines write a bootloader's
// commands and pages to. Each write is one synchronous transfer with a time-out.

#include <cstdint>
#include <string>

#include "trevalon/firmware/BootloaderPipe.h"

struct libusb_device_handle;

namespace trevalon::usb {

class UsbBulkPipe : public BootloaderPipe {
 public:
  static constexpr unsigned kTransferTimeoutMs = 5000;

  // Takes the handle; claims the interface and releases it (and closes the handle) when it goes.
  UsbBulkPipe(libusb_device_handle* handle, int interfaceNumber, uint8_t outEndpoint);
  ~UsbBulkPipe() override;
  UsbBulkPipe(const UsbBulkPipe&) = delete;
  UsbBulkPipe& operator=(const UsbBulkPipe&) = delete;

  bool claimed(std::string& error) const;
  size_t write(const uint8_t* data, size_t length) override;
  // The last transfer's failure, for the log.
  const std::string& lastError() const { return failure; }

 private:
  libusb_device_handle* handle;
  int interfaceNumber;
  uint8_t outEndpoint;
  int claimResult;
  std::string failure;
};

}  // namespace trevalon::usb
