// SPDX-License-Identifier: Apache-2.0
#include "kelvo/simulator/peripheral/BerTlv.h"

namespace kelvo::simulator {
namespace {

constexpr uint8_t kMoreTagBytes = 0x1F;  // low five bits of a first tag byte that continues
constexpr uint8_t kFollows = 0x80;       // a further tag byte follows, or a long length form
constexpr size_t kMaxTagBytes = 3;
constexpr size_t kMaxLengthBytes = 2;

}  // namespace

std::vector<uint8_t> BerTlv::tagBytes(uint32_t tag) {
  std::vector<uint8_t> bytes;
  for (int shift = 24; shift > 0; shift -= 8) {
    if (tag >> shift) bytes.push_back(static_cast<uint8_t>(tag >> shift));
  }
  bytes.push_back(static_cast<uint8_t>(tag));
  return bytes;
}

std::vector<uint8_t> BerTlv::lengthBytes(size_t length) {
  if (length < 0x80) return {static_cast<uint8_t>(length)};
  if (length <= 0xFF) return {0x81, static_cast<uint8_t>(length)};
  return {0x82, static_cast<uint8_t>(length >> 8), static_cast<uint8_t>(length)};
}

std::vector<uint8_t> BerTlv::encode(uint32_t tag, const std::vector<uint8_t>& value) {
  std::vector<uint8_t> element = tagBytes(tag);
  const std::vector<uint8_t> length = lengthBytes(value.size());
  element.insert(element.end(), length.begin(), length.end());
  element.insert(element.end(), value.begin(), value.end());
  return element;
}

std::vector<uint8_t> BerTlv::concatenate(const std::vector<std::vector<uint8_t>>& parts) {
  std::vector<uint8_t> joined;
  for (const std::vector<uint8_t>& part : parts) joined.insert(joined.end(), part.begin(), part.end());
  return joined;
}

std::optional<std::vector<BerTlv::Element>> BerTlv::parse(const std::vector<uint8_t>& data) {
  std::vector<Element> elements;
  size_t at = 0;
  while (at < data.size()) {
    Element element;
    element.tag = data[at];
    if ((data[at++] & kMoreTagBytes) == kMoreTagBytes) {
      size_t more = 0;
      do {
        if (at >= data.size() || ++more >= kMaxTagBytes) return std::nullopt;
        element.tag = element.tag << 8 | data[at];
      } while (data[at++] & kFollows);
    }
    if (at >= data.size()) return std::nullopt;
    size_t length = data[at++];
    if (length & kFollows) {
      const size_t count = length & ~size_t{kFollows};
      if (count == 0 || count > kMaxLengthBytes || data.size() - at < count) return std::nullopt;
      length = 0;
      for (size_t i = 0; i < count; ++i) length = length << 8 | data[at++];
    }
    if (data.size() - at < length) return std::nullopt;
    element.value.assign(data.begin() + static_cast<long>(at), data.begin() + static_cast<long>(at + length));
    at += length;
    elements.push_back(std::move(element));
  }
  return elements;
}

}  // namespace kelvo::simulator
