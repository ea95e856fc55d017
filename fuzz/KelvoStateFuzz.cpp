// SPDX-License-Identifier: Apache-2.0
// Any device-state payload: card and cable states stay within their value sets.
#include "FuzzTransport.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  auto reader = kelvo::fuzz::readerAnswering(data, size);
  const uint8_t card = reader->getCardStatus();
  if (card != 0 && card != 1 && card != 2 && card != 6) __builtin_trap();
  const uint8_t usb = reader->getUsbCableStatus();
  if (usb != 0 && usb != 1 && usb != 0xFF) __builtin_trap();
  return 0;
}
