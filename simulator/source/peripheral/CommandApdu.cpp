// SPDX-License-Identifier: Apache-2.0
#include "kelvo/simulator/peripheral/CommandApdu.h"

namespace kelvo::simulator {
namespace {

constexpr size_t kHeaderLength = 4;

size_t shortLe(uint8_t value) { return value == 0 ? CommandApdu::kMaxShortResponse : value; }

size_t extendedLe(uint8_t high, uint8_t low) {
  const size_t value = static_cast<size_t>(high) << 8 | low;
  return value == 0 ? CommandApdu::kMaxExtendedResponse : value;
}

}  // namespace

std::optional<CommandApdu> CommandApdu::parse(const std::vector<uint8_t>& bytes) {
  if (bytes.size() < kHeaderLength) return std::nullopt;
  CommandApdu apdu;
  apdu.cla = bytes[0];
  apdu.ins = bytes[1];
  apdu.p1 = bytes[2];
  apdu.p2 = bytes[3];
  const size_t body = bytes.size() - kHeaderLength;
  if (body == 0) return apdu;
  const uint8_t first = bytes[kHeaderLength];
  if (body == 1) {
    apdu.expected = shortLe(first);
    return apdu;
  }
  auto takeData = [&](size_t from, size_t length) {
    apdu.data.assign(bytes.begin() + static_cast<long>(from), bytes.begin() + static_cast<long>(from + length));
  };
  if (first != 0) {
    const size_t lc = first;
    if (body == 1 + lc) {
      takeData(kHeaderLength + 1, lc);
      return apdu;
    }
    if (body == 2 + lc) {
      takeData(kHeaderLength + 1, lc);
      apdu.expected = shortLe(bytes.back());
      return apdu;
    }
    return std::nullopt;
  }
  apdu.extended = true;
  if (body == 3) {
    apdu.expected = extendedLe(bytes[5], bytes[6]);
    return apdu;
  }
  if (body < 3) return std::nullopt;
  const size_t lc = static_cast<size_t>(bytes[5]) << 8 | bytes[6];
  if (lc == 0) return std::nullopt;
  if (body == 3 + lc) {
    takeData(kHeaderLength + 3, lc);
    return apdu;
  }
  if (body == 5 + lc) {
    takeData(kHeaderLength + 3, lc);
    apdu.expected = extendedLe(bytes[bytes.size() - 2], bytes.back());
    return apdu;
  }
  return std::nullopt;
}

size_t CommandApdu::responseLimit() const {
  if (expected) return *expected;
  return extended ? kMaxExtendedResponse : kMaxShortResponse;
}

}  // namespace kelvo::simulator
