// SPDX-License-Identifier: Apache-2.0
#pragma once
// The USB devices of this computer, through libusb: finds a device by its vendor and product ids and the end of its
// serial number string, and opens its bulk OUT pipe. A device counts as the reader sought when its ids are in the
// table and its serial number string ends with the reader's serial (a bootloader may put something in front).

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "trevalon/usb/UsbBulkPipe.h"

struct libusb_context;
struct libusb_device;

namespace trevalon::usb {

struct UsbId {
  uint16_t vendor;
  uint16_t product;
};

class UsbBus {
 public:
  UsbBus();
  ~UsbBus();
  UsbBus(const UsbBus&) = delete;
  UsbBus& operator=(const UsbBus&) = delete;

  // False with the reason when libusb cannot be used at all.
  bool usable(std::string& error) const;

  // Whether such a device is plugged in. Devices that cannot be opened to read their serial do not count.
  bool present(const std::vector<UsbId>& ids, const std::string& serialSuffix, std::string& error);

  // The first such device's bulk OUT pipe, its interface claimed until the pipe goes; nothing with the reason
  // (no device, no bulk OUT endpoint, the interface taken by another program).
  std::unique_ptr<UsbBulkPipe> openBulkOut(const std::vector<UsbId>& ids, const std::string& serialSuffix,
                                           std::string& error);

 private:
  // Visits the matching devices; the visitor's true ends the walk.
  bool forEachMatch(const std::vector<UsbId>& ids, const std::string& serialSuffix, std::string& error,
                    const std::function<bool(libusb_device*)>& visit);

  libusb_context* context = nullptr;
  int initResult = 0;
};

}  // namespace trevalon::usb
