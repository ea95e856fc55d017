// SPDX-License-Identifier: Apache-2.0
#include "trevalon/usb/UsbBus.h"

#include <libusb.h>

namespace trevalon::usb {

namespace {

constexpr int kStringBytes = 256;

bool listed(const std::vector<UsbId>& ids, const libusb_device_descriptor& descriptor) {
  for (const UsbId& id : ids) {
    if (id.vendor == descriptor.idVendor && id.product == descriptor.idProduct) return true;
  }
  return false;
}

bool endsWith(const std::string& text, const std::string& suffix) {
  return text.size() >= suffix.size() && text.compare(text.size() - suffix.size(), suffix.size(), suffix) == 0;
}

// The first bulk OUT endpoint of the first configuration, with its interface.
bool findBulkOut(libusb_device* device, int& interfaceNumber, uint8_t& endpoint) {
  libusb_config_descriptor* configuration = nullptr;
  if (libusb_get_active_config_descriptor(device, &configuration) != 0 &&
      libusb_get_config_descriptor(device, 0, &configuration) != 0) {
    return false;
  }
  bool found = false;
  for (int i = 0; i < configuration->bNumInterfaces && !found; ++i) {
    const libusb_interface& interface = configuration->interface[i];
    if (interface.num_altsetting < 1) continue;
    const libusb_interface_descriptor& setting = interface.altsetting[0];
    for (int e = 0; e < setting.bNumEndpoints && !found; ++e) {
      const libusb_endpoint_descriptor& candidate = setting.endpoint[e];
      const bool bulk = (candidate.bmAttributes & LIBUSB_TRANSFER_TYPE_MASK) == LIBUSB_TRANSFER_TYPE_BULK;
      if (bulk && (candidate.bEndpointAddress & LIBUSB_ENDPOINT_DIR_MASK) == LIBUSB_ENDPOINT_OUT) {
        interfaceNumber = setting.bInterfaceNumber;
        endpoint = candidate.bEndpointAddress;
        found = true;
      }
    }
  }
  libusb_free_config_descriptor(configuration);
  return found;
}

}  // namespace

UsbBus::UsbBus() { initResult = libusb_init(&context); }

UsbBus::~UsbBus() {
  if (initResult == 0) libusb_exit(context);
}

bool UsbBus::usable(std::string& error) const {
  if (initResult == 0) return true;
  error = std::string("libusb cannot be used: ") + libusb_strerror(initResult);
  return false;
}

bool UsbBus::forEachMatch(const std::vector<UsbId>& ids, const std::string& serialSuffix, std::string& error,
                          const std::function<bool(libusb_device*)>& visit) {
  if (!usable(error)) return false;
  libusb_device** list = nullptr;
  const ssize_t count = libusb_get_device_list(context, &list);
  if (count < 0) {
    error = std::string("Failed to get usb device set: ") + libusb_strerror(static_cast<int>(count));
    return false;
  }
  bool ended = false;
  for (ssize_t index = 0; index < count && !ended; ++index) {
    libusb_device_descriptor descriptor{};
    if (libusb_get_device_descriptor(list[index], &descriptor) != 0 || !listed(ids, descriptor)) continue;
    libusb_device_handle* handle = nullptr;
    if (libusb_open(list[index], &handle) != 0) continue;
    unsigned char serial[kStringBytes] = {};
    const int length = descriptor.iSerialNumber == 0 ? 0
                                                     : libusb_get_string_descriptor_ascii(
                                                           handle, descriptor.iSerialNumber, serial, sizeof serial);
    libusb_close(handle);
    if (length <= 0) continue;
    if (endsWith(std::string(reinterpret_cast<char*>(serial), static_cast<size_t>(length)), serialSuffix)) {
      ended = visit(list[index]);
    }
  }
  libusb_free_device_list(list, 1);
  return ended;
}

bool UsbBus::present(const std::vector<UsbId>& ids, const std::string& serialSuffix, std::string& error) {
  return forEachMatch(ids, serialSuffix, error, [](libusb_device*) { return true; });
}

std::unique_ptr<UsbBulkPipe> UsbBus::openBulkOut(const std::vector<UsbId>& ids, const std::string& serialSuffix,
                                                 std::string& error) {
  std::unique_ptr<UsbBulkPipe> pipe;
  std::string reason = "no such device";
  forEachMatch(ids, serialSuffix, error, [&pipe, &reason](libusb_device* device) {
    int interfaceNumber = 0;
    uint8_t endpoint = 0;
    if (!findBulkOut(device, interfaceNumber, endpoint)) {
      reason = "the device has no bulk OUT endpoint";
      return false;
    }
    libusb_device_handle* handle = nullptr;
    const int opened = libusb_open(device, &handle);
    if (opened != 0) {
      reason = std::string("the device cannot be opened: ") + libusb_strerror(opened);
      return false;
    }
    auto candidate = std::make_unique<UsbBulkPipe>(handle, interfaceNumber, endpoint);
    if (!candidate->claimed(reason)) return false;
    pipe = std::move(candidate);
    return true;
  });
  if (!pipe && error.empty()) error = reason;
  return pipe;
}

}  // namespace trevalon::usb
