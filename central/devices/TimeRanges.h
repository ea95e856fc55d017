// SPDX-License-Identifier: Apache-2.0
#pragma once
// A reader's weekly working-time ranges as the application passes them between threads: seven entries of a start
// and an end in minutes counted from Sunday 00:00, -1 meaning unset.

#include <QByteArray>
#include <QMetaType>
#include <QString>
#include <array>
#include <cstdint>

struct TimeRanges {
  static constexpr int kEntries = 7;
  static constexpr int32_t kUnset = -1;
  static constexpr int32_t kMinutesPerDay = 1440;

  struct Range {
    int32_t start = kUnset;
    int32_t end = kUnset;
  };

  std::array<Range, kEntries> ranges{};

  bool operator==(const TimeRanges& other) const {
    for (int i = 0; i < kEntries; ++i) {
      if (ranges[i].start != other.ranges[i].start || ranges[i].end != other.ranges[i].end) return false;
    }
    return true;
  }
  bool operator!=(const TimeRanges& other) const { return !(*this == other); }

  // The 28-byte wire form: seven ranges, start before end, each narrowed to a signed 16-bit little-endian value.
  QByteArray toRecord() const;
  // "{ {Mo 08:00, Mo 17:00}, {Undefined, Undefined}, ... }", as the log writes the ranges.
  QString toText() const;
  // "Mo 08:05" for a minute of the week; "Undefined" for a negative one.
  static QString timeText(int32_t minutes);
};

Q_DECLARE_METATYPE(TimeRanges)
