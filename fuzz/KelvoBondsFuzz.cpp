// SPDX-License-Identifier: Apache-2.0
// Any bond list: names never run past the payload.
#include "FuzzTransport.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  auto reader = kelvo::fuzz::readerAnswering(data, size);
  size_t total = 0;
  for (const std::string& name : reader->getBonded()) total += name.size();
  if (total > size) __builtin_trap();
  if (reader->getPrefered().size() > size) __builtin_trap();
  return 0;
}
