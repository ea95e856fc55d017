// SPDX-License-Identifier: Apache-2.0
#include "trevalon/kelvo/WorkingTimeRanges.h"

namespace trevalon::kelvo {
namespace {

void putLittleEndian(std::vector<uint8_t>& out, int16_t value) {
  const auto raw = static_cast<uint16_t>(value);
  out.push_back(static_cast<uint8_t>(raw & 0xff));
  out.push_back(static_cast<uint8_t>(raw >> 8));
}

int16_t getLittleEndian(const std::vector<uint8_t>& in, size_t at) {
  return static_cast<int16_t>(static_cast<uint16_t>(in[at] | in[at + 1] << 8));
}

}  // namespace

std::vector<uint8_t> WorkingTimeRanges::toBytes() const {
  std::vector<uint8_t> bytes;
  bytes.reserve(kWireSize);
  for (const WorkingTimeRange& day : days) {
    putLittleEndian(bytes, day.start);
    putLittleEndian(bytes, day.end);
  }
  return bytes;
}

std::optional<WorkingTimeRanges> WorkingTimeRanges::fromBytes(const std::vector<uint8_t>& bytes) {
  if (bytes.size() != kWireSize) {
    return std::nullopt;
  }
  WorkingTimeRanges ranges;
  for (size_t day = 0; day < ranges.days.size(); ++day) {
    ranges.days[day].start = getLittleEndian(bytes, day * 4);
    ranges.days[day].end = getLittleEndian(bytes, day * 4 + 2);
  }
  return ranges;
}

WorkingTimeRanges WorkingTimeRanges::zero() {
  WorkingTimeRanges ranges;
  for (WorkingTimeRange& day : ranges.days) {
    day = WorkingTimeRange{0, 0};
  }
  return ranges;
}

}  // namespace trevalon::kelvo
