// SPDX-License-Identifier: Apache-2.0
#pragma once
// Edits the reader's weekly working times: one row per weekday (Sunday first, as the week is counted on the
// reader) with a begin and an end time. A row whose end is not after its begin means "no working time that day".
// The page closes when the reader has taken the new ranges, or at once when nothing changed.

#include <QWidget>
#include <array>

#include "devices/TimeRanges.h"

class KelvoDevice;
class QTime;
class QTimeEdit;

class WorkingTimeRangesPage : public QWidget {
  Q_OBJECT

 public:
  static constexpr int kMinutesPerDay = 1440;
  static constexpr int kDays = 7;

  struct DayTimes {
    int beginMinutes = 0;  // minutes since midnight
    int endMinutes = 0;
  };
  using WeekTimes = std::array<DayTimes, kDays>;

  explicit WorkingTimeRangesPage(KelvoDevice* device, QWidget* parent = nullptr);

  // Each set range goes to the row of the weekday it starts on; rows without a range show 00:00 to 00:00.
  static WeekTimes weekTimesOf(const TimeRanges& ranges);
  static TimeRanges rangesOf(const WeekTimes& week);

  bool isWaiting() const { return waiting; }

 signals:
  void finished();

 private slots:
  void save();
  void clear();
  void workingTimeRangesChanged(const TimeRanges& ranges);

 private:
  void showRanges(const TimeRanges& ranges);
  WeekTimes editedTimes() const;

  KelvoDevice* device;
  std::array<QTimeEdit*, kDays> beginEditors{};
  std::array<QTimeEdit*, kDays> endEditors{};
  bool waiting = false;
};
