// SPDX-License-Identifier: Apache-2.0
#include "devices/TimeRanges.h"

#include <QStringList>

namespace {

const char* const kDayNames[] = {"Su", "Mo", "Tu", "We", "Th", "Fr", "Sa"};
constexpr int kDaysPerWeek = 7;

void appendLittleEndian16(QByteArray& record, int32_t value) {
  const auto bits = static_cast<uint16_t>(static_cast<int16_t>(value));
  record.append(static_cast<char>(bits & 0xFF));
  record.append(static_cast<char>(bits >> 8));
}

}  // namespace

QString TimeRanges::timeText(int32_t minutes) {
  if (minutes < 0) return QStringLiteral("Undefined");
  const int day = (minutes / kMinutesPerDay) % kDaysPerWeek;
  const int hour = (minutes / 60) % 24;
  const int minute = minutes % 60;
  return QStringLiteral("%1 %2:%3")
      .arg(QLatin1String(kDayNames[day]))
      .arg(hour, 2, 10, QLatin1Char('0'))
      .arg(minute, 2, 10, QLatin1Char('0'));
}

QString TimeRanges::toText() const {
  QString text = QStringLiteral("{ ");
  for (int i = 0; i < kEntries; ++i) {
    text += i == 0 ? QStringLiteral("{") : QStringLiteral(", {");
    text += timeText(ranges[i].start) + QStringLiteral(", ") + timeText(ranges[i].end) + QStringLiteral("}");
  }
  return text + QStringLiteral(" }");
}

QByteArray TimeRanges::toRecord() const {
  QByteArray record;
  for (const Range& range : ranges) {
    appendLittleEndian16(record, range.start);
    appendLittleEndian16(record, range.end);
  }
  return record;
}
