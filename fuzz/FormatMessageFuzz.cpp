// SPDX-License-Identifier: Apache-2.0
// Arbitrary text through formatMessage as an argument: the result is the text or the overflow notice, never more.
#include <cstddef>
#include <cstdint>
#include <string>

#include "trevalon/common/Log.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string text(reinterpret_cast<const char*>(data), size);
  const std::string cut = text.substr(0, text.find('\0'));
  const std::string result = trevalon::common::formatMessage("value: %s", cut.c_str());
  if (cut.size() + 7 < 256) {
    if (result != "value: " + cut) __builtin_trap();
  } else if (result != "Not enought space to write into buffer") {
    __builtin_trap();
  }
  return 0;
}
