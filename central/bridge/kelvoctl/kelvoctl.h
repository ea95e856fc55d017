// SPDX-License-Identifier: Apache-2.0
#pragma once
// kelvoctl: the Bridge dongle's control library. The Bridge is interface 1 of a composite USB device (6666:42EA or
// 2DFF:1543); every command is one length-prefixed message on its bulk OUT endpoint, answered (when it is) on its
// bulk IN endpoint: [length of the whole message][command or code][payload]. C-style and free of Qt and of locks:
// a handle is used by one thread at a time (the Bridge manager serialises its calls), and every transfer is
// synchronous. Diagnostics go to the standard error stream.

#include <cstddef>
#include <cstdint>

extern "C" {

typedef struct kelvoctl_handle kelvoctl_handle;

// The Bridge's USB ids: vendor, product.
static const uint16_t KELVOCTL_USB_IDS[2][2] = {{0x6666, 0x42EA}, {0x2DFF, 0x1543}};

// Return codes: 0 success; 5 a transfer failed or the answer was too short; 6 an invalid argument (missing or too
// small buffer, payload too long); other values are the Bridge's own result codes (select_device, send_passkey).
enum {
  KELVOCTL_OK = 0,
  KELVOCTL_PAIRING_REQUIRED = 1,
  KELVOCTL_TRANSFER_FAILED = 5,
  KELVOCTL_INVALID_ARGUMENT = 6,
};

// Status word bits: the connected reader asks for pairing; both connected bits set = a reader is connected.
enum {
  KELVOCTL_STATUS_PAIRING_REQUIRED = 0x0200,
  KELVOCTL_STATUS_CONNECTED_A = 0x0800,
  KELVOCTL_STATUS_CONNECTED_B = 0x1000,
};

// One advertising report of a search: the address least significant byte first, as the Bridge stores it.
typedef struct kelvoctl_search_record {
  uint8_t address[6];
  int has_name;
  char name[32];  // NUL-terminated; a longer advertised name is cut
  int has_kelvo_service;
} kelvoctl_search_record;

typedef void (*kelvoctl_search_callback)(const kelvoctl_search_record* record, void* context);
typedef void (*kelvoctl_address_callback)(const uint8_t address[6], void* context);

// The first Bridge on the bus, its interface claimed; null when there is none or it cannot be opened.
kelvoctl_handle* kelvoctl_open(void);
void kelvoctl_close(kelvoctl_handle* handle);

int kelvoctl_search(kelvoctl_handle* handle, kelvoctl_search_callback callback, void* context);
int kelvoctl_get_paired_devs(kelvoctl_handle* handle, kelvoctl_address_callback callback, void* context);
// A null address selects none.
int kelvoctl_select_device(kelvoctl_handle* handle, const uint8_t* address);
int kelvoctl_abort_pair(kelvoctl_handle* handle);
int kelvoctl_send_passkey(kelvoctl_handle* handle, uint32_t passkey);
int kelvoctl_store_device_name(kelvoctl_handle* handle, const char* name);
int kelvoctl_get_device_name(kelvoctl_handle* handle, char* buffer, size_t size);
int kelvoctl_get_serial(kelvoctl_handle* handle, char* buffer, size_t size);
int kelvoctl_get_version(kelvoctl_handle* handle, char* buffer, size_t size);
// connection_id may be null.
int kelvoctl_get_status(kelvoctl_handle* handle, uint16_t* status, uint16_t* connection_id);
int kelvoctl_hard_reset(kelvoctl_handle* handle);
int kelvoctl_send_indication(kelvoctl_handle* handle, const uint8_t* data, size_t count);
// response_length: the buffer's size in, the response's length out.
int kelvoctl_send_rpc(kelvoctl_handle* handle, const uint8_t* request, size_t request_length, uint8_t* response,
                      size_t* response_length);
}
