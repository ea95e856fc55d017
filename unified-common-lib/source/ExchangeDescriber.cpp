// SPDX-License-Identifier: Apache-2.0
#include "trevalon/common/ExchangeDescriber.h"

#include <cstdio>

namespace trevalon::common {
namespace {

constexpr size_t kApduHeaderSize = 4;

}  // namespace

std::string ExchangeDescriber::request(const char* name, uint8_t id, size_t bytes) {
  char text[96];
  std::snprintf(text, sizeof text, "%s [0x%02x] %zu bytes", name, id, bytes);
  return text;
}

std::string ExchangeDescriber::apdu(const std::vector<uint8_t>& apdu) { return ExchangeDescriber::apdu(apdu, 0); }

std::string ExchangeDescriber::apdu(const std::vector<uint8_t>& bytes, size_t offset) {
  const size_t size = offset <= bytes.size() ? bytes.size() - offset : 0;
  char text[64];
  if (size < kApduHeaderSize) {
    std::snprintf(text, sizeof text, "APDU, %zu bytes", size);
  } else {
    const uint8_t* header = bytes.data() + offset;
    std::snprintf(text, sizeof text, "APDU %02x %02x %02x %02x, %zu bytes", header[0], header[1], header[2], header[3],
                  size);
  }
  return text;
}

std::string ExchangeDescriber::length(size_t bytes) { return std::to_string(bytes) + " bytes"; }

}  // namespace trevalon::common
