// SPDX-License-Identifier: Apache-2.0
// The pop-up pages that change one reader setting, the battery warning threshold and the working times. Each page
// works on a device that takes what it is sent, as a reader does; the spies show what reached the device.
#include <gtest/gtest.h>

#include <QApplication>
#include <QLabel>
#include <QPushButton>
#include <QSignalSpy>
#include <QSlider>
#include <QTimeEdit>
#include <memory>

#include "ApplicationSettings.h"
#include "ScriptedReaderDevice.h"
#include "views/AdvertisingSettingPage.h"
#include "views/BacklightSettingPage.h"
#include "views/BatterySettingPage.h"
#include "views/BuzzerSettingPage.h"
#include "views/DisplaySettingPage.h"
#include "views/SignalStrngSettingPage.h"
#include "views/WorkingTimeRangesPage.h"

namespace {

using SentSetting = QPair<int, int>;

QList<SentSetting> sentSettings(const QSignalSpy& spy) {
  QList<SentSetting> sent;
  for (const QList<QVariant>& arguments : spy) {
    sent.append({arguments.at(0).value<BYTE>(), arguments.at(1).value<BYTE>()});
  }
  return sent;
}

QPushButton* button(QWidget& page, const char* name) { return page.findChild<QPushButton*>(name); }

struct SignalCase {
  QString serial;
  int strength;
  bool decreaseEnabled;
  bool increaseEnabled;
};

TEST(SignalStrngSettingPageTest, ButtonsFollowTheLevelsOfTheReadersGeneration) {
  const SignalCase cases[] = {
      {"5720000001", 0, false, true},
      {"5720000001", 1, true, true},
      {"5720000001", 2, true, false},
      {"K2XX000001", 2, true, true},
      {"K2XX000001", 3, true, false},
      {"KLV2000001", 2, true, true},
      {"5720000001", 255, false, false},
      // Until the reader has told its level, neither button can change anything.
      {"5720000001", -1, false, false},
  };
  for (const SignalCase& c : cases) {
    SCOPED_TRACE(c.serial.toStdString() + " " + std::to_string(c.strength));
    ScriptedReaderDevice device(c.serial);
    device.initialize(1, 80, ScriptedReaderDevice::allSettings(c.strength, 1, 1, 1, 1));
    SignalStrngSettingPage page(&device);
    EXPECT_EQ(button(page, "decreaseButton")->isEnabled(), c.decreaseEnabled);
    EXPECT_EQ(button(page, "increaseButton")->isEnabled(), c.increaseEnabled);
  }
}

TEST(SignalStrngSettingPageTest, EachPressSendsOneStepAndTheButtonsFollowTheReader) {
  ScriptedReaderDevice device("K2XX000001");
  device.initialize(1, 80, ScriptedReaderDevice::allSettings(2, 1, 1, 1, 1));
  QSignalSpy sent(&device, &KelvoDevice::sendSettingRequested);
  SignalStrngSettingPage page(&device);

  button(page, "increaseButton")->click();
  EXPECT_EQ(device.signalStrength(), 3);
  EXPECT_FALSE(button(page, "increaseButton")->isEnabled());
  EXPECT_EQ(page.findChild<QLabel*>("levelLabel")->property("resource").toString(), ":/res/gui/eco-signal-4-4.png");

  button(page, "decreaseButton")->click();
  button(page, "decreaseButton")->click();
  button(page, "decreaseButton")->click();
  EXPECT_EQ(device.signalStrength(), 0);
  EXPECT_FALSE(button(page, "decreaseButton")->isEnabled());
  EXPECT_EQ(sentSettings(sent), (QList<SentSetting>{{1, 3}, {1, 2}, {1, 1}, {1, 0}}));
}

TEST(SignalStrngSettingPageTest, StepRulesStayWithinTheLevels) {
  EXPECT_EQ(SignalStrngSettingPage::decreased(0), 0);
  EXPECT_EQ(SignalStrngSettingPage::decreased(2), 1);
  EXPECT_EQ(SignalStrngSettingPage::increased(2, 3), 2);
  EXPECT_EQ(SignalStrngSettingPage::increased(2, 4), 3);
  EXPECT_FALSE(SignalStrngSettingPage::canDecrease(255));
  EXPECT_FALSE(SignalStrngSettingPage::canIncrease(255, 4));
}

TEST(AdvertisingSettingPageTest, ToggleSwitchesBetweenPermanentAndTemporaryAndScheduleAsksForTheWorkingTimes) {
  ScriptedReaderDevice device("5720000001");
  device.initialize(1, 80, ScriptedReaderDevice::allSettings(1, 1, 1, 1, 1));
  QSignalSpy sent(&device, &KelvoDevice::sendSettingRequested);
  AdvertisingSettingPage page(&device);
  QSignalSpy schedule(&page, &AdvertisingSettingPage::workingTimeRangesClicked);

  QPushButton* mode = button(page, "modeButton");
  EXPECT_FALSE(mode->isChecked());
  mode->click();
  EXPECT_EQ(device.advertisingMode(), 2);
  EXPECT_TRUE(mode->isChecked());
  mode->click();
  EXPECT_EQ(device.advertisingMode(), 1);
  EXPECT_EQ(sentSettings(sent), (QList<SentSetting>{{2, 2}, {2, 1}}));
  EXPECT_EQ(AdvertisingSettingPage::toggled(0), 1);

  button(page, "scheduleButton")->click();
  EXPECT_EQ(schedule.count(), 1);
}

template <typename Page>
void expectToggleSendsTheOtherValue(int settingId, int (KelvoDevice::*value)() const) {
  ScriptedReaderDevice device("5720000001");
  device.initialize(1, 80, ScriptedReaderDevice::allSettings(1, 1, 1, 1, 1));
  QSignalSpy sent(&device, &KelvoDevice::sendSettingRequested);
  Page page(&device);
  QPushButton* check = button(page, "checkButton");
  EXPECT_TRUE(check->isChecked());
  check->click();
  EXPECT_EQ((device.*value)(), 0);
  EXPECT_FALSE(check->isChecked());
  check->click();
  EXPECT_EQ((device.*value)(), 1);
  EXPECT_EQ(sentSettings(sent), (QList<SentSetting>{{settingId, 0}, {settingId, 1}}));
}

TEST(ToggleSettingPageTest, DisplayBacklightAndBuzzerEachSendTheirOwnSetting) {
  {
    SCOPED_TRACE("display");
    expectToggleSendsTheOtherValue<DisplaySettingPage>(3, &KelvoDevice::displayAlwaysEnabled);
  }
  {
    SCOPED_TRACE("backlight");
    expectToggleSendsTheOtherValue<BacklightSettingPage>(4, &KelvoDevice::backlightEnabled);
  }
  {
    SCOPED_TRACE("buzzer");
    expectToggleSendsTheOtherValue<BuzzerSettingPage>(6, &KelvoDevice::buzzerEnabled);
  }
}

TEST(ToggleSettingPageTest, AnUnknownValueIsNeverChangedAndAnOddValueBecomesOff) {
  EXPECT_EQ(ToggleSettingPage::toggled(0), 1);
  EXPECT_EQ(ToggleSettingPage::toggled(1), 0);
  EXPECT_EQ(ToggleSettingPage::toggled(2), 0);

  // A device that has not heard from its reader yet: every setting is unknown.
  ScriptedReaderDevice device("5720000001");
  QSignalSpy sent(&device, &KelvoDevice::sendSettingRequested);
  BuzzerSettingPage page(&device);
  QPushButton* check = button(page, "checkButton");
  EXPECT_FALSE(check->isEnabled());
  QMetaObject::invokeMethod(check, "click");
  EXPECT_EQ(sent.count(), 0);
}

TEST(ToggleSettingPageTest, PageFollowsChangesThatComeFromTheReader) {
  ScriptedReaderDevice device("5720000001");
  const DeviceSettings settings = ScriptedReaderDevice::allSettings(1, 1, 1, 1, 1);
  device.initialize(1, 80, settings);
  DisplaySettingPage display(&device);
  BacklightSettingPage backlight(&device);
  DeviceSettings changed = settings;
  changed.displayAlwaysEnabled = 0;
  device.updateDeviceState(true, 1, 80, 0, 0, 0, true, changed, TimeRanges());
  EXPECT_FALSE(button(display, "checkButton")->isChecked());
  EXPECT_TRUE(button(backlight, "checkButton")->isChecked());
}

class BatterySettingPageTest : public ::testing::Test {
 protected:
  void SetUp() override { ApplicationSettings::setBatteryWarningThreshhold(20); }
  void TearDown() override { ApplicationSettings::setBatteryWarningThreshhold(20); }
};

TEST_F(BatterySettingPageTest, SliderStaysWithinTenAndNinetyAndTheDeviceRepeatsItsLevel) {
  ScriptedReaderDevice device("5720000001");
  device.initialize(1, 64, ScriptedReaderDevice::allSettings(1, 1, 1, 1, 1));
  QSignalSpy repeated(&device, &KelvoDevice::batteryLevelChanged);
  BatterySettingPage page(&device);
  auto* slider = page.findChild<QSlider*>("slider");
  auto* label = page.findChild<QLabel*>("valueLabel");
  EXPECT_EQ(slider->value(), 20);
  EXPECT_EQ(label->text(), "20%");

  // Every move changes the slider, so each one stores a value and has the device repeat its level.
  const struct {
    int moved;
    int stored;
  } cases[] = {{95, 90}, {50, 50}, {3, 10}, {90, 90}, {100, 90}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.moved);
    repeated.clear();
    slider->setValue(c.moved);
    EXPECT_EQ(slider->value(), c.stored);
    EXPECT_EQ(ApplicationSettings::batteryWarningThreshhold(), c.stored);
    EXPECT_EQ(label->text(), QString("%1%").arg(c.stored));
    ASSERT_EQ(repeated.count(), 1);
    EXPECT_EQ(repeated.first().at(0).toInt(), 64);
  }
}

class WorkingTimeRangesPageTest : public ::testing::Test {
 protected:
  static TimeRanges mondayNineToFive() {
    TimeRanges ranges;
    ranges.ranges[1] = {(24 + 9) * 60, (24 + 17) * 60};
    return ranges;
  }

  void SetUp() override {
    device.initialize(1, 80, ScriptedReaderDevice::allSettings(1, 2, 1, 1, 1), mondayNineToFive());
    page = std::make_unique<WorkingTimeRangesPage>(&device);
    sent = std::make_unique<QSignalSpy>(&device, &KelvoDevice::sendWorkingTimeRangesRequested);
    finished = std::make_unique<QSignalSpy>(page.get(), &WorkingTimeRangesPage::finished);
  }

  QTimeEdit* editor(const char* kind, int row) {
    return page->findChild<QTimeEdit*>(QString(kind) + QString::number(row));
  }
  void setRow(int row, QTime begin, QTime end) {
    editor("begin", row)->setTime(begin);
    editor("end", row)->setTime(end);
  }
  QTime begin(int row) { return editor("begin", row)->time(); }
  QTime end(int row) { return editor("end", row)->time(); }
  void save() { button(*page, "saveButton")->click(); }

  ScriptedReaderDevice device{"5720000001"};
  std::unique_ptr<WorkingTimeRangesPage> page;
  std::unique_ptr<QSignalSpy> sent;
  std::unique_ptr<QSignalSpy> finished;
};

TEST_F(WorkingTimeRangesPageTest, OpeningPutsEachRangeInTheRowOfItsWeekday) {
  EXPECT_EQ(begin(1), QTime(9, 0));
  EXPECT_EQ(end(1), QTime(17, 0));
  for (int row : {0, 2, 3, 4, 5, 6}) {
    EXPECT_EQ(begin(row), QTime(0, 0)) << row;
    EXPECT_EQ(end(row), QTime(0, 0)) << row;
  }
}

TEST_F(WorkingTimeRangesPageTest, SavingUnchangedRangesSendsNothingAndClosesAtOnce) {
  save();
  EXPECT_EQ(sent->count(), 0);
  EXPECT_EQ(finished->count(), 1);
}

TEST_F(WorkingTimeRangesPageTest, ChangedRangesAreSentAndThePageClosesWhenTheReaderHasThem) {
  setRow(1, QTime(8, 5), QTime(16, 30));
  setRow(6, QTime(10, 0), QTime(23, 59));
  setRow(3, QTime(18, 0), QTime(8, 0));  // ends before it begins: no working time that day
  save();
  ASSERT_EQ(sent->count(), 1);
  EXPECT_TRUE(page->isWaiting());

  const TimeRanges ranges = sent->first().at(0).value<TimeRanges>();
  EXPECT_EQ(ranges.ranges[1].start, 1440 + 8 * 60 + 5);
  EXPECT_EQ(ranges.ranges[1].end, 1440 + 16 * 60 + 30);
  EXPECT_EQ(ranges.ranges[6].start, 6 * 1440 + 10 * 60);
  EXPECT_EQ(ranges.ranges[6].end, 6 * 1440 + 23 * 60 + 59);
  for (int row : {0, 2, 3, 4, 5}) {
    EXPECT_EQ(ranges.ranges[row].start, -1) << row;
    EXPECT_EQ(ranges.ranges[row].end, -1) << row;
  }
  // The device is connected directly here, so the reader's confirmation has already arrived.
  EXPECT_EQ(device.workingTimeRanges(), ranges);
  EXPECT_EQ(finished->count(), 1);
}

TEST_F(WorkingTimeRangesPageTest, ClearSetsEveryEditorToMidnightWithoutSending) {
  button(*page, "clearButton")->click();
  for (int row = 0; row < 7; ++row) {
    EXPECT_EQ(begin(row), QTime(0, 0));
    EXPECT_EQ(end(row), QTime(0, 0));
  }
  EXPECT_EQ(sent->count(), 0);
  save();  // everything cleared: every range unset
  ASSERT_EQ(sent->count(), 1);
  EXPECT_EQ(sent->first().at(0).value<TimeRanges>(), TimeRanges());
}

TEST_F(WorkingTimeRangesPageTest, ChangesFromTheReaderRefillTheEditorsWhileNotWaiting) {
  TimeRanges fromReader;
  fromReader.ranges[4] = {2 * 1440 + 7 * 60 + 15, 2 * 1440 + 12 * 60};  // stored in entry 4, starts on Tuesday
  device.updateDeviceState(true, 1, 80, 0, 0, 0, true, ScriptedReaderDevice::allSettings(1, 2, 1, 1, 1), fromReader);
  EXPECT_EQ(finished->count(), 0);
  EXPECT_EQ(begin(2), QTime(7, 15));
  EXPECT_EQ(end(2), QTime(12, 0));
  EXPECT_EQ(begin(1), QTime(0, 0));
}

TEST(WorkingTimeRangesRulesTest, RowsAndRangesConvertBothWays) {
  TimeRanges ranges;
  ranges.ranges[0] = {6 * 1440 + 23 * 60, 6 * 1440 + 23 * 60 + 59};  // Saturday evening in entry 0
  ranges.ranges[1] = {-1, -1};
  ranges.ranges[2] = {7 * 1440 + 60, 7 * 1440 + 120};  // a week later is still Sunday
  const WorkingTimeRangesPage::WeekTimes week = WorkingTimeRangesPage::weekTimesOf(ranges);
  EXPECT_EQ(week[6].beginMinutes, 23 * 60);
  EXPECT_EQ(week[6].endMinutes, 23 * 60 + 59);
  EXPECT_EQ(week[0].beginMinutes, 60);
  EXPECT_EQ(week[0].endMinutes, 120);

  const TimeRanges back = WorkingTimeRangesPage::rangesOf(week);
  EXPECT_EQ(back.ranges[6].start, 6 * 1440 + 23 * 60);
  EXPECT_EQ(back.ranges[0].end, 120);
  EXPECT_EQ(back.ranges[1].start, -1);

  WorkingTimeRangesPage::WeekTimes equalTimes{};
  equalTimes[3] = {600, 600};
  EXPECT_EQ(WorkingTimeRangesPage::rangesOf(equalTimes), TimeRanges());
}

}  // namespace
