// SPDX-License-Identifier: Apache-2.0
#pragma once
// Seven weekly ranges {start, end} in minutes from Sunday 00:00, -1 for unset; on the wire 28 bytes of
// little-endian signed 16-bit values.

#include <array>
#include <cstdint>
#include <optional>
#include <vector>

namespace trevalon::kelvo {

struct WorkingTimeRange {
  int16_t start = -1;
  int16_t end = -1;
  bool operator==(const WorkingTimeRange& other) const { return start == other.start && end == other.end; }
};

struct WorkingTimeRanges {
  static constexpr size_t kWireSize = 28;
  std::array<WorkingTimeRange, 7> days{};

  std::vector<uint8_t> toBytes() const;
  // Empty unless exactly 28 bytes.
  static std::optional<WorkingTimeRanges> fromBytes(const std::vector<uint8_t>& bytes);
  // All fields zero: what a failed read reports.
  static WorkingTimeRanges zero();

  bool operator==(const WorkingTimeRanges& other) const { return days == other.days; }
};

}  // namespace trevalon::kelvo
