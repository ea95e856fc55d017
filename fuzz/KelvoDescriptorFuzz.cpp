// SPDX-License-Identifier: Apache-2.0
// Any descriptor payload: the parser keeps within the payload and every value it stores is text.
#include "FuzzTransport.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  auto reader = kelvo::fuzz::readerAnswering(data, size);
  for (const char* key : {"Serial", "MAC", "Firmware", ""}) {
    if (reader->getDescriptor(key).size() > 2 * 255) __builtin_trap();
  }
  return 0;
}
