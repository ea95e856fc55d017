// SPDX-License-Identifier: Apache-2.0
#include "trevalon/usb/UsbBulkPipe.h"

#include <libusb.h>

#include <climits>

namespace trevalon::usb {

UsbBulkPipe::UsbBulkPipe(libusb_device_handle* handle, int interfaceNumber, uint8_t outEndpoint)
    : handle(handle), interfaceNumber(interfaceNumber), outEndpoint(outEndpoint) {
  // A kernel driver bound to the interface would keep it; it is given back when the interface is released.
  libusb_set_auto_detach_kernel_driver(handle, 1);
  claimResult = libusb_claim_interface(handle, interfaceNumber);
}

UsbBulkPipe::~UsbBulkPipe() {
  if (claimResult == 0) libusb_release_interface(handle, interfaceNumber);
  libusb_close(handle);
}

bool UsbBulkPipe::claimed(std::string& error) const {
  if (claimResult == 0) return true;
  error = std::string("the device's interface cannot be claimed: ") + libusb_strerror(claimResult);
  return false;
}

size_t UsbBulkPipe::write(const uint8_t* data, size_t length) {
  if (claimResult != 0 || length > static_cast<size_t>(INT_MAX)) return 0;
  int transferred = 0;
  const int result = libusb_bulk_transfer(handle, outEndpoint, const_cast<unsigned char*>(data),
                                          static_cast<int>(length), &transferred, kTransferTimeoutMs);
  failure = result == 0 ? std::string() : std::string(libusb_strerror(result));
  return transferred < 0 ? 0 : static_cast<size_t>(transferred);
}

}  // namespace trevalon::usb
