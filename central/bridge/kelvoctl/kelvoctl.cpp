// SPDX-License-Identifier: Apache-2.0
#include "bridge/kelvoctl/kelvoctl.h"

#include <libusb.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "bridge/kelvoctl/AdvertisingReport.h"
#include "bridge/kelvoctl/BridgeAnswer.h"

namespace {

constexpr int kBridgeInterface = 1;

constexpr uint8_t kSendPasskey = 0x0C;
constexpr uint8_t kSearch = 0x0D;
constexpr uint8_t kSelectDevice = 0x0E;
constexpr uint8_t kHardReset = 0x0F;
constexpr uint8_t kStoreDeviceName = 0x10;
constexpr uint8_t kGetPairedDevices = 0x11;
constexpr uint8_t kGetDeviceName = 0x13;
constexpr uint8_t kGetStatus = 0x14;
constexpr uint8_t kAbortPair = 0x15;
constexpr uint8_t kSendRpc = 0x16;
constexpr uint8_t kSendIndication = 0x17;
constexpr uint8_t kGetVersion = 0x18;

constexpr size_t kAddressBytes = 6;
constexpr size_t kMaxNameBytes = 16;
constexpr size_t kMaxIndicationBytes = 19;
constexpr size_t kMaxRpcBytes = 253;
constexpr size_t kMaxMessage = 255;

// Read sizes of the answers.
constexpr int kCommonAnswer = 64;
constexpr int kShortAnswer = 16;
constexpr int kNameAnswer = 18;
constexpr int kIndicationAnswer = 21;
constexpr int kReportAnswer = 256;

// A reader's RPC and a search wait for the radio; the other commands are the Bridge's own.
constexpr unsigned kCommandTimeoutMs = 2000;
constexpr unsigned kRadioTimeoutMs = 10000;

}  // namespace

struct kelvoctl_handle {
  libusb_context* context = nullptr;
  libusb_device_handle* device = nullptr;
  uint8_t inPipe = 0x83;
  uint8_t outPipe = 0x03;
};

namespace {

bool isBridge(const libusb_device_descriptor& descriptor) {
  for (const auto& id : KELVOCTL_USB_IDS) {
    if (descriptor.idVendor == id[0] && descriptor.idProduct == id[1]) return true;
  }
  return false;
}

// The bulk pipes of interface 1, setting 0; the defaults stay where the interface names none.
bool readPipes(libusb_device* device, kelvoctl_handle& handle) {
  libusb_config_descriptor* configuration = nullptr;
  if (libusb_get_active_config_descriptor(device, &configuration) != 0 &&
      libusb_get_config_descriptor(device, 0, &configuration) != 0) {
    return false;
  }
  bool found = false;
  for (int i = 0; i < configuration->bNumInterfaces; ++i) {
    const libusb_interface& interface = configuration->interface[i];
    if (interface.num_altsetting < 1 || interface.altsetting[0].bInterfaceNumber != kBridgeInterface) continue;
    found = true;
    const libusb_interface_descriptor& setting = interface.altsetting[0];
    for (int e = 0; e < setting.bNumEndpoints && e < 2; ++e) {
      const uint8_t address = setting.endpoint[e].bEndpointAddress;
      if ((address & LIBUSB_ENDPOINT_DIR_MASK) == LIBUSB_ENDPOINT_IN) {
        handle.inPipe = address;
      } else {
        handle.outPipe = address;
      }
    }
  }
  libusb_free_config_descriptor(configuration);
  return found;
}

libusb_device_handle* openBridge(libusb_context* context, kelvoctl_handle& handle) {
  libusb_device** list = nullptr;
  const ssize_t count = libusb_get_device_list(context, &list);
  if (count < 0) return nullptr;
  libusb_device_handle* opened = nullptr;
  for (ssize_t index = 0; index < count && opened == nullptr; ++index) {
    libusb_device_descriptor descriptor{};
    if (libusb_get_device_descriptor(list[index], &descriptor) != 0 || !isBridge(descriptor)) continue;
    if (!readPipes(list[index], handle)) continue;
    const int result = libusb_open(list[index], &opened);
    if (result != 0) {
      std::fprintf(stderr, "libusb_open failed: %d %s\n", result, libusb_strerror(result));
      opened = nullptr;
      continue;
    }
    libusb_set_auto_detach_kernel_driver(opened, 1);
    if (libusb_claim_interface(opened, kBridgeInterface) != 0) {
      std::fprintf(stderr, "claiming the Bridge's interface failed\n");
      libusb_close(opened);
      opened = nullptr;
    }
  }
  libusb_free_device_list(list, 1);
  // No Bridge plugged in is the usual case, polled twice a second: it is not reported.
  return opened;
}

bool send(kelvoctl_handle* handle, uint8_t command, const uint8_t* payload, size_t length) {
  if (length + 2 > kMaxMessage) return false;
  std::vector<uint8_t> message{static_cast<uint8_t>(length + 2), command};
  if (length > 0) message.insert(message.end(), payload, payload + length);
  int transferred = 0;
  const int result = libusb_bulk_transfer(handle->device, handle->outPipe, message.data(),
                                          static_cast<int>(message.size()), &transferred, kCommandTimeoutMs);
  return result == 0 && transferred == static_cast<int>(message.size());
}

// One bulk IN read of up to `size` bytes; the number read, 0 when nothing came.
size_t receive(kelvoctl_handle* handle, uint8_t* buffer, int size, unsigned timeoutMs = kCommandTimeoutMs) {
  int transferred = 0;
  const int result = libusb_bulk_transfer(handle->device, handle->inPipe, buffer, size, &transferred, timeoutMs);
  return result == 0 && transferred > 0 ? static_cast<size_t>(transferred) : 0;
}

// A command and its one answer; an empty answer when either transfer failed.
BridgeAnswer exchange(kelvoctl_handle* handle, uint8_t command, const uint8_t* payload, size_t length, int answerSize) {
  if (!send(handle, command, payload, length)) return BridgeAnswer({});
  std::vector<uint8_t> answer(static_cast<size_t>(answerSize));
  answer.resize(receive(handle, answer.data(), answerSize));
  return BridgeAnswer(std::move(answer));
}

int resultOf(const BridgeAnswer& answer) {
  int result = KELVOCTL_TRANSFER_FAILED;
  answer.result(result);
  return result;
}

void copyText(const std::string& text, char* buffer, size_t size) {
  const size_t kept = std::min(text.size(), size - 1);
  std::memcpy(buffer, text.data(), kept);
  buffer[kept] = '\0';
}

}  // namespace

extern "C" {

kelvoctl_handle* kelvoctl_open(void) {
  auto* handle = new kelvoctl_handle;
  if (libusb_init(&handle->context) != 0) {
    std::fprintf(stderr, "libusb cannot be used\n");
    delete handle;
    return nullptr;
  }
  handle->device = openBridge(handle->context, *handle);
  if (handle->device == nullptr) {
    libusb_exit(handle->context);
    delete handle;
    return nullptr;
  }
  return handle;
}

void kelvoctl_close(kelvoctl_handle* handle) {
  if (handle == nullptr) return;
  libusb_release_interface(handle->device, kBridgeInterface);
  libusb_close(handle->device);
  libusb_exit(handle->context);
  delete handle;
}

int kelvoctl_search(kelvoctl_handle* handle, kelvoctl_search_callback callback, void* context) {
  if (handle == nullptr || !send(handle, kSearch, nullptr, 0)) return KELVOCTL_OK;
  uint8_t message[kReportAnswer];
  for (;;) {
    const size_t received = receive(handle, message, sizeof message, kRadioTimeoutMs);
    if (received < 2 || message[1] == AdvertisingReport::kEndCode) break;
    if (received != message[0]) std::fprintf(stderr, "got %zu / expected %d\n", received, message[0]);
    kelvoctl_search_record record;
    if (!AdvertisingReport::parse(message, received, record)) continue;
    std::fprintf(stderr, "%02X:%02X:%02X:%02X:%02X:%02X\n", record.address[5], record.address[4], record.address[3],
                 record.address[2], record.address[1], record.address[0]);
    if (record.has_kelvo_service) std::fprintf(stderr, "has kelvo service\n");
    if (callback) callback(&record, context);
  }
  return KELVOCTL_OK;
}

int kelvoctl_get_paired_devs(kelvoctl_handle* handle, kelvoctl_address_callback callback, void* context) {
  if (handle == nullptr) return KELVOCTL_INVALID_ARGUMENT;
  const bool read = exchange(handle, kGetPairedDevices, nullptr, 0, kCommonAnswer)
                        .pairedAddresses([callback, context](const uint8_t* address) {
                          if (callback) callback(address, context);
                        });
  return read ? KELVOCTL_OK : KELVOCTL_TRANSFER_FAILED;
}

int kelvoctl_select_device(kelvoctl_handle* handle, const uint8_t* address) {
  if (handle == nullptr) return KELVOCTL_INVALID_ARGUMENT;
  uint8_t selected[kAddressBytes] = {0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF};
  if (address != nullptr) std::memcpy(selected, address, kAddressBytes);
  return resultOf(exchange(handle, kSelectDevice, selected, kAddressBytes, kShortAnswer));
}

int kelvoctl_abort_pair(kelvoctl_handle* handle) {
  if (handle == nullptr) return KELVOCTL_INVALID_ARGUMENT;
  if (!send(handle, kAbortPair, nullptr, 0)) return KELVOCTL_TRANSFER_FAILED;
  uint8_t ignored[kCommonAnswer];
  receive(handle, ignored, sizeof ignored);
  return KELVOCTL_OK;
}

int kelvoctl_send_passkey(kelvoctl_handle* handle, uint32_t passkey) {
  if (handle == nullptr) return KELVOCTL_INVALID_ARGUMENT;
  const uint8_t bigEndian[4] = {static_cast<uint8_t>(passkey >> 24), static_cast<uint8_t>(passkey >> 16),
                                static_cast<uint8_t>(passkey >> 8), static_cast<uint8_t>(passkey)};
  return resultOf(exchange(handle, kSendPasskey, bigEndian, sizeof bigEndian, kShortAnswer));
}

int kelvoctl_store_device_name(kelvoctl_handle* handle, const char* name) {
  if (handle == nullptr || name == nullptr) return KELVOCTL_INVALID_ARGUMENT;
  const size_t length = std::strlen(name);
  if (length > kMaxNameBytes) return KELVOCTL_INVALID_ARGUMENT;
  return send(handle, kStoreDeviceName, reinterpret_cast<const uint8_t*>(name), length) ? KELVOCTL_OK
                                                                                        : KELVOCTL_TRANSFER_FAILED;
}

int kelvoctl_get_device_name(kelvoctl_handle* handle, char* buffer, size_t size) {
  if (handle == nullptr || buffer == nullptr || size == 0) return KELVOCTL_INVALID_ARGUMENT;
  std::string name;
  if (!exchange(handle, kGetDeviceName, nullptr, 0, kNameAnswer).name(name)) return KELVOCTL_TRANSFER_FAILED;
  copyText(name, buffer, size);
  return KELVOCTL_OK;
}

int kelvoctl_get_serial(kelvoctl_handle* handle, char* buffer, size_t size) {
  if (handle == nullptr || buffer == nullptr || size == 0) return KELVOCTL_INVALID_ARGUMENT;
  libusb_device_descriptor descriptor{};
  if (libusb_get_device_descriptor(libusb_get_device(handle->device), &descriptor) != 0 ||
      descriptor.iSerialNumber == 0) {
    return KELVOCTL_TRANSFER_FAILED;
  }
  // The serial number string descriptor in language 0, the low byte of each UTF-16 unit.
  uint8_t raw[kCommonAnswer * 4] = {};
  const int length = libusb_get_string_descriptor(handle->device, descriptor.iSerialNumber, 0, raw, sizeof raw);
  if (length < 2) return KELVOCTL_TRANSFER_FAILED;
  const size_t units = (std::max<size_t>(std::min<size_t>(raw[0], static_cast<size_t>(length)), 2) - 2) / 2;
  std::string text;
  for (size_t unit = 0; unit < units; ++unit) text.push_back(static_cast<char>(raw[2 + 2 * unit]));
  copyText(text, buffer, size);
  return KELVOCTL_OK;
}

int kelvoctl_get_version(kelvoctl_handle* handle, char* buffer, size_t size) {
  if (handle == nullptr || buffer == nullptr || size == 0) return KELVOCTL_INVALID_ARGUMENT;
  const BridgeAnswer answer = exchange(handle, kGetVersion, nullptr, 0, kCommonAnswer);
  std::string version;
  if (!answer.version(version)) return KELVOCTL_TRANSFER_FAILED;
  if (size < answer.payload().size()) return KELVOCTL_INVALID_ARGUMENT;
  copyText(version, buffer, size);
  return KELVOCTL_OK;
}

int kelvoctl_get_status(kelvoctl_handle* handle, uint16_t* status, uint16_t* connection_id) {
  if (handle == nullptr || status == nullptr) return KELVOCTL_INVALID_ARGUMENT;
  uint16_t connection = 0;
  if (!exchange(handle, kGetStatus, nullptr, 0, kCommonAnswer).status(*status, connection)) {
    return KELVOCTL_TRANSFER_FAILED;
  }
  if (connection_id != nullptr) *connection_id = connection;
  return KELVOCTL_OK;
}

int kelvoctl_hard_reset(kelvoctl_handle* handle) {
  if (handle == nullptr) return KELVOCTL_INVALID_ARGUMENT;
  return send(handle, kHardReset, nullptr, 0) ? KELVOCTL_OK : KELVOCTL_TRANSFER_FAILED;
}

int kelvoctl_send_indication(kelvoctl_handle* handle, const uint8_t* data, size_t count) {
  if (handle == nullptr || (data == nullptr && count > 0) || count > kMaxIndicationBytes) {
    return KELVOCTL_INVALID_ARGUMENT;
  }
  bool done = false;
  uint8_t controlStatus = 0;
  if (!exchange(handle, kSendIndication, data, count, kIndicationAnswer).indication(done, controlStatus)) {
    return KELVOCTL_TRANSFER_FAILED;
  }
  if (!done) {
    std::fprintf(stderr, "ctlstatus: %d\n", controlStatus);
    return KELVOCTL_TRANSFER_FAILED;
  }
  return KELVOCTL_OK;
}

int kelvoctl_send_rpc(kelvoctl_handle* handle, const uint8_t* request, size_t request_length, uint8_t* response,
                      size_t* response_length) {
  if (handle == nullptr || request == nullptr || request_length == 0 || request_length > kMaxRpcBytes ||
      response == nullptr || response_length == nullptr || *response_length == 0) {
    return KELVOCTL_INVALID_ARGUMENT;
  }
  if (!send(handle, kSendRpc, request, request_length)) return KELVOCTL_TRANSFER_FAILED;
  // The answer may come in several reads: its first byte says how long it is.
  std::vector<uint8_t> answer(kMaxMessage + 1);
  size_t received = receive(handle, answer.data(), static_cast<int>(answer.size()), kRadioTimeoutMs);
  if (received == 0) return KELVOCTL_TRANSFER_FAILED;
  const size_t total = std::min<size_t>(answer[0], answer.size());
  while (received < total) {
    const size_t more =
        receive(handle, answer.data() + received, static_cast<int>(answer.size() - received), kRadioTimeoutMs);
    if (more == 0) break;
    received += more;
  }
  answer.resize(std::min(received, total));
  std::vector<uint8_t> reply;
  if (!BridgeAnswer(std::move(answer)).rpc(reply)) return KELVOCTL_TRANSFER_FAILED;
  if (reply.size() > *response_length) return KELVOCTL_INVALID_ARGUMENT;
  std::copy(reply.begin(), reply.end(), response);
  *response_length = reply.size();
  return KELVOCTL_OK;
}
}
