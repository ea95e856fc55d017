// SPDX-License-Identifier: Apache-2.0
// How the device page draws a reader's values: the battery gauge, the symbols chosen for each value and the order
// of the descriptor rows.
#include <gtest/gtest.h>

#include <QPixmap>

#include "views/BatteryGauge.h"
#include "views/DescriptorTable.h"
#include "views/DeviceSymbols.h"

namespace {

struct GaugeCase {
  int level;
  int expectedHeight;
  QString expectedText;
};

TEST(BatteryGaugeTest, BarGrowsFromTheBottomWithAMinimumSliverAndClampedLevels) {
  const GaugeCase cases[] = {
      {150, 193, "100 %"}, {100, 193, "100 %"}, {50, 97, "50 %"},  // 96.5 rounds up
      {21, 41, "21 %"},    {3, 6, "3 %"},       {0, 6, "0 %"},    {-7, 6, "0 %"},
  };
  for (const GaugeCase& c : cases) {
    SCOPED_TRACE(c.level);
    const QRect bar = BatteryGauge::barGeometry(c.level);
    EXPECT_EQ(bar.height(), c.expectedHeight);
    EXPECT_EQ(bar.x(), 11);
    EXPECT_EQ(bar.y(), 211 - c.expectedHeight);
    EXPECT_EQ(bar.bottom() + 1, 211);
    EXPECT_EQ(BatteryGauge::levelText(c.level), c.expectedText);
  }
}

TEST(BatteryGaugeTest, BarTurnsRedAtTheThresholdAndMarkerSitsAtTheThresholdHeight) {
  const QString red = QStringLiteral("background-color: rgb(255, 0, 0);");
  const QString grey = QStringLiteral("background-color: rgb(236, 236, 237); border: 1px solid rgb(128, 128, 128);");
  EXPECT_EQ(BatteryGauge::barStyle(20, 20), red);
  EXPECT_EQ(BatteryGauge::barStyle(21, 20), grey);
  EXPECT_EQ(BatteryGauge::barStyle(0, 20), red);
  EXPECT_EQ(BatteryGauge::barStyle(150, 90), grey);

  EXPECT_EQ(BatteryGauge::markerGeometry(20), BatteryGauge::barGeometry(20));
  EXPECT_EQ(BatteryGauge::markerGeometry(20).y(), 211 - 39);  // 38.6 rounds to 39
  EXPECT_EQ(BatteryGauge::markerGeometry(1).height(), 6);
}

struct SignalCase {
  QString serial;
  int strength;
  QString expected;
};

TEST(DeviceSymbolsTest, SignalSymbolCountsLevelsByGeneration) {
  const SignalCase cases[] = {
      {"5720000001", 0, ":/res/gui/eco-signal-1-3.png"},
      {"5720000001", 2, ":/res/gui/eco-signal-3-3.png"},
      {"5720000001", 3, ""},
      {"5720000001", -1, ""},
      {"K2XX000001", 3, ":/res/gui/eco-signal-4-4.png"},
      {"KLV2000001", 0, ":/res/gui/eco-signal-1-4.png"},
      {"K2M0000001", 1, ":/res/gui/eco-signal-2-4.png"},
      {"K2XX000001", 4, ""},
      {"K2XX000001", 255, ""},
      // Prefixes are case-sensitive: a lower-case serial is no second-generation reader.
      {"k2xx000001", 3, ""},
  };
  for (const SignalCase& c : cases) {
    SCOPED_TRACE(c.serial.toStdString() + " " + std::to_string(c.strength));
    const int levels = DeviceSymbols::signalLevels(c.serial);
    EXPECT_EQ(DeviceSymbols::signalSymbol(c.strength, levels), c.expected);
    EXPECT_EQ(DeviceSymbols::hasSignalSymbol(c.strength, levels), !c.expected.isEmpty());
  }
}

TEST(DeviceSymbolsTest, EverySymbolTheRulesNameExistsAsAResource) {
  QStringList names;
  for (const QString& serial : {QStringLiteral("5720000001"), QStringLiteral("K2XX000001")}) {
    const int levels = DeviceSymbols::signalLevels(serial);
    for (int strength = 0; strength < levels; ++strength) names << DeviceSymbols::signalSymbol(strength, levels);
  }
  for (auto setting :
       {DeviceSymbols::EcoSetting::Display, DeviceSymbols::EcoSetting::Backlight, DeviceSymbols::EcoSetting::Buzzer}) {
    names << DeviceSymbols::ecoSymbol(setting, 0) << DeviceSymbols::ecoSymbol(setting, 1);
  }
  for (const char* model : {"tvKelvo", "tvKelvo2", "tvKelvo2Mini", "Classic"}) {
    names << DeviceSymbols::frontPicture(model) << DeviceSymbols::backPicture(model);
  }
  for (int status : {1, 2, 6}) names << DeviceSymbols::cardSymbol(status);
  names << DeviceSymbols::coverageSymbol(127) << DeviceSymbols::coverageSymbol(-80)
        << DeviceSymbols::advertisingSymbol() << DeviceSymbols::chargingSymbol() << DeviceSymbols::encryptionSymbol();
  for (const QString& name : names) {
    EXPECT_FALSE(QPixmap(name).isNull()) << name.toStdString();
  }
}

TEST(DeviceSymbolsTest, ValuesChooseTheirSymbols) {
  using Eco = DeviceSymbols::EcoSetting;
  EXPECT_EQ(DeviceSymbols::cardSymbol(6), ":/res/gui/Card-OK.png");
  EXPECT_EQ(DeviceSymbols::cardSymbol(2), ":/res/gui/Card-not_identified.png");
  EXPECT_EQ(DeviceSymbols::cardSymbol(1), ":/res/gui/Card-NoCard.png");
  EXPECT_EQ(DeviceSymbols::cardSymbol(5), ":/res/gui/Card-NoCard.png");

  EXPECT_EQ(DeviceSymbols::ecoSymbol(Eco::Display, 1), ":/res/gui/EcoMode-Grafik_display.png");
  EXPECT_EQ(DeviceSymbols::ecoSymbol(Eco::Display, 0), ":/res/gui/EcoMode-Grafik_display_ECO.png");
  EXPECT_EQ(DeviceSymbols::ecoSymbol(Eco::Backlight, 0), ":/res/gui/EcoMode-Grafik_backlight_ECO.png");
  EXPECT_EQ(DeviceSymbols::ecoSymbol(Eco::Buzzer, 1), ":/res/gui/EcoMode-Grafik_buzzer.png");
  EXPECT_EQ(DeviceSymbols::ecoSymbol(Eco::Display, 2), "");
  EXPECT_EQ(DeviceSymbols::ecoSymbol(Eco::Buzzer, -1), "");

  EXPECT_EQ(DeviceSymbols::coverageSymbol(127), ":/res/gui/coverage_off.png");
  EXPECT_EQ(DeviceSymbols::coverageSymbol(126), ":/res/gui/coverage_on.png");

  EXPECT_EQ(DeviceSymbols::frontPicture("tvKelvo2"), ":/res/gui/K2-front.png");
  EXPECT_EQ(DeviceSymbols::backPicture("tvKelvo2Mini"), ":/res/gui/tvKelvo2Mini-Back.png");
  EXPECT_EQ(DeviceSymbols::frontPicture("something else"), ":/res/gui/Kelvo-On.png");

  EXPECT_FALSE(DeviceSymbols::hasBacklight("K2M0000001"));
  EXPECT_TRUE(DeviceSymbols::hasBacklight("K2XX000001"));
  EXPECT_TRUE(DeviceSymbols::hasBacklight("k2m0000001"));
}

QStringList keysOf(const DescriptorTable& table) {
  QStringList keys;
  for (const auto& row : table.rows()) keys << row.first;
  return keys;
}

TEST(DescriptorTableTest, FixedKeysComeFirstInTheirOrderThenTheRestSortedAndEmptyValuesAreLeftOut) {
  const QMap<QString, QString> descriptor{
      {"Zeta", "z"},           {"Alpha", "a"}, {"Firmware", "2.1.7-K2"}, {"Serial", "K2XX000001"},
      {"MAC", "c0ffee000001"}, {"Build", ""},  {"Hardware", "1.2rev3"},  {"beta", "lower case sorts last"},
  };
  const DescriptorTable table(descriptor, "1.4.0");
  EXPECT_EQ(keysOf(table), (QStringList{"Serial", "MAC", "Hardware", "Firmware", "Driver", "Alpha", "Zeta", "beta"}));
  EXPECT_EQ(table.rows().at(4).second, "1.4.0");

  const DescriptorTable withoutDriver({{"Serial", "5720000001"}, {"Zeta", "z"}, {"Alpha", "a"}}, QString());
  EXPECT_EQ(keysOf(withoutDriver), (QStringList{"Serial", "Alpha", "Zeta"}));
}

TEST(DescriptorTableTest, ColumnsAreParagraphsOfEqualCountAndReaderTextIsEscaped) {
  const DescriptorTable table({{"Serial", "5720000001"}, {"Note", "<b>&</b>"}}, QString());
  const QString p = "<p style='line-height:50%'>";
  EXPECT_EQ(table.keyColumn([](const QString& key) { return key.toUpper(); }),
            p + "SERIAL</p>" + p + "NOTE</p>" + p + "</p>");
  EXPECT_EQ(table.separatorColumn(), p + "&nbsp;:&nbsp;</p>" + p + "&nbsp;:&nbsp;</p>" + p + "</p>");
  EXPECT_EQ(table.valueColumn(), p + "5720000001</p>" + p + "&lt;b&gt;&amp;&lt;/b&gt;</p>" + p + "</p>");
}

}  // namespace
