// SPDX-License-Identifier: Apache-2.0
// Any settings payload: only ids 1 to 15 are ever stored.
#include "FuzzTransport.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  auto reader = kelvo::fuzz::readerAnswering(data, size);
  for (int id = 0; id <= 255; ++id) {
    const uint8_t value = reader->getSetting(static_cast<uint8_t>(id));
    if ((id == 0 || id > 15) && value != 0xFF) __builtin_trap();
  }
  return 0;
}
