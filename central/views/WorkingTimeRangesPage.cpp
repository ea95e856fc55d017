// SPDX-License-Identifier: Apache-2.0
#include "WorkingTimeRangesPage.h"

#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLocale>
#include <QPushButton>
#include <QTimeEdit>
#include <QVBoxLayout>

#include "devices/KelvoDevice.h"

namespace {

constexpr int kMinutesPerHour = 60;
const char kButtonStyle[] = "background-color: rgb(240, 240, 240);";

QTime timeOfDay(int minutes) { return QTime(minutes / kMinutesPerHour, minutes % kMinutesPerHour); }

int minutesOf(const QTime& time) { return time.hour() * kMinutesPerHour + time.minute(); }

bool isSet(const TimeRanges::Range& range) { return range.start >= 0 && range.end >= 0; }

// Qt numbers the days from Monday (1) to Sunday (7); the reader's week starts on Sunday.
QString dayName(int row) { return QLocale().dayName(row == 0 ? 7 : row, QLocale::ShortFormat); }

QTimeEdit* makeEditor(QWidget* parent, const QString& name) {
  auto* editor = new QTimeEdit(parent);
  editor->setObjectName(name);
  editor->setDisplayFormat(QStringLiteral("HH:mm"));
  editor->setTime(QTime(0, 0));
  return editor;
}

QPushButton* makeButton(QWidget* parent, const QString& name, const QString& text) {
  auto* button = new QPushButton(text, parent);
  button->setObjectName(name);
  button->setCursor(Qt::PointingHandCursor);
  button->setStyleSheet(QString::fromLatin1(kButtonStyle));
  return button;
}

}  // namespace

WorkingTimeRangesPage::WorkingTimeRangesPage(KelvoDevice* device, QWidget* parent) : QWidget(parent), device(device) {
  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(0, 0, 0, 0);
  auto* title = new QLabel(tr("Work Schedule"), this);
  title->setObjectName(QStringLiteral("titleLabel"));
  QFont titleFont = title->font();
  titleFont.setBold(true);
  titleFont.setPointSize(12);
  title->setFont(titleFont);
  layout->addWidget(title);

  auto* grid = new QGridLayout();
  grid->setHorizontalSpacing(10);
  grid->addWidget(new QLabel(tr("Begin"), this), 0, 1);
  grid->addWidget(new QLabel(tr("End"), this), 0, 2);
  for (int row = 0; row < kDays; ++row) {
    grid->addWidget(new QLabel(dayName(row), this), row + 1, 0);
    beginEditors[row] = makeEditor(this, QStringLiteral("begin%1").arg(row));
    endEditors[row] = makeEditor(this, QStringLiteral("end%1").arg(row));
    grid->addWidget(beginEditors[row], row + 1, 1);
    grid->addWidget(endEditors[row], row + 1, 2);
  }
  layout->addLayout(grid);

  auto* buttons = new QHBoxLayout();
  auto* saveButton = makeButton(this, QStringLiteral("saveButton"), tr("Save"));
  auto* clearButton = makeButton(this, QStringLiteral("clearButton"), tr("Clear"));
  buttons->addWidget(saveButton);
  buttons->addWidget(clearButton);
  buttons->addStretch(1);
  layout->addLayout(buttons);

  connect(saveButton, &QPushButton::clicked, this, &WorkingTimeRangesPage::save);
  connect(clearButton, &QPushButton::clicked, this, &WorkingTimeRangesPage::clear);
  connect(device, &KelvoDevice::workingTimeRangesChanged, this, &WorkingTimeRangesPage::workingTimeRangesChanged);
  showRanges(device->workingTimeRanges());
}

WorkingTimeRangesPage::WeekTimes WorkingTimeRangesPage::weekTimesOf(const TimeRanges& ranges) {
  WeekTimes week{};
  for (const TimeRanges::Range& range : ranges.ranges) {
    if (!isSet(range)) continue;
    const int row = (range.start / kMinutesPerDay) % kDays;
    week[row].beginMinutes = range.start % kMinutesPerDay;
    week[row].endMinutes = range.end % kMinutesPerDay;
  }
  return week;
}

TimeRanges WorkingTimeRangesPage::rangesOf(const WeekTimes& week) {
  TimeRanges ranges;
  for (int row = 0; row < kDays; ++row) {
    const DayTimes& day = week[row];
    if (day.endMinutes <= day.beginMinutes) continue;
    ranges.ranges[row].start = row * kMinutesPerDay + day.beginMinutes;
    ranges.ranges[row].end = row * kMinutesPerDay + day.endMinutes;
  }
  return ranges;
}

void WorkingTimeRangesPage::save() {
  const TimeRanges edited = rangesOf(editedTimes());
  if (edited == device->workingTimeRanges()) {
    emit finished();
    return;
  }
  waiting = true;
  emit device->sendWorkingTimeRangesRequested(edited);
}

void WorkingTimeRangesPage::clear() {
  for (int row = 0; row < kDays; ++row) {
    beginEditors[row]->setTime(QTime(0, 0));
    endEditors[row]->setTime(QTime(0, 0));
  }
}

void WorkingTimeRangesPage::workingTimeRangesChanged(const TimeRanges& ranges) {
  if (waiting) {
    emit finished();
    return;
  }
  showRanges(ranges);
}

void WorkingTimeRangesPage::showRanges(const TimeRanges& ranges) {
  const WeekTimes week = weekTimesOf(ranges);
  for (int row = 0; row < kDays; ++row) {
    beginEditors[row]->setTime(timeOfDay(week[row].beginMinutes));
    endEditors[row]->setTime(timeOfDay(week[row].endMinutes));
  }
}

WorkingTimeRangesPage::WeekTimes WorkingTimeRangesPage::editedTimes() const {
  WeekTimes week{};
  for (int row = 0; row < kDays; ++row) {
    week[row].beginMinutes = minutesOf(beginEditors[row]->time());
    week[row].endMinutes = minutesOf(endEditors[row]->time());
  }
  return week;
}
