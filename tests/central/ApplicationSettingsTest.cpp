// SPDX-License-Identifier: Apache-2.0
#include "ApplicationSettings.h"

#include <gtest/gtest.h>

#include <QSettings>
#include <thread>
#include <vector>

namespace {

TEST(ApplicationSettingsTest, FreshProfileYieldsTheDefaults) {
  EXPECT_EQ(ApplicationSettings::batteryWarningThreshhold(), 20);
  EXPECT_TRUE(ApplicationSettings::lockingWorkstation());
  EXPECT_TRUE(ApplicationSettings::tutorialOnStarup());
  EXPECT_EQ(ApplicationSettings::serverUrl(), QString());
  EXPECT_EQ(ApplicationSettings::deviceName("AABBCCDDEEFF"), QString());
  EXPECT_EQ(ApplicationSettings::updateServerUrl("https://updates.example/feed.xml"),
            "https://updates.example/feed.xml");
  EXPECT_EQ(ApplicationSettings::lastLogTime("AABBCCDDEEFF"), 0);
}

// Other processes (and the next start) see a change at once, under the documented key names.
TEST(ApplicationSettingsTest, ValuesAreStoredAtOnceUnderTheirKeys) {
  ApplicationSettings::setBatteryWarningThreshhold(35);
  ApplicationSettings::setLockingWorkstation(false);
  ApplicationSettings::setTutorialOnStarup(false);
  ApplicationSettings::setServerUrl("https://kem.example");
  ApplicationSettings::setUpdateServerUrl("https://feed.example");
  ApplicationSettings::setDeviceName("0011", "Desk reader");
  ApplicationSettings::setLastLogTime("AABBCCDDEEFF", 1700000000123LL);

  QSettings fromDisk(QSettings::NativeFormat, QSettings::UserScope, "trevalon GmbH", "Kelvo Central");
  EXPECT_EQ(fromDisk.value("batteryWarningThreshhold").toInt(), 35);
  EXPECT_EQ(fromDisk.value("lockingWorkstation").toBool(), false);
  EXPECT_EQ(fromDisk.value("tutorialOnStarup").toBool(), false);
  EXPECT_EQ(fromDisk.value("serverUrl").toString(), "https://kem.example");
  EXPECT_EQ(fromDisk.value("updateServerUrl").toString(), "https://feed.example");
  EXPECT_EQ(fromDisk.value("deviceName_0011").toString(), "Desk reader");
  EXPECT_EQ(fromDisk.value("lastLogTime_AABBCCDDEEFF").toLongLong(), 1700000000123LL);

  EXPECT_EQ(ApplicationSettings::updateServerUrl("https://default.example"), "https://feed.example");
  EXPECT_EQ(ApplicationSettings::deviceName("0011"), "Desk reader");
  EXPECT_EQ(ApplicationSettings::deviceName("0012"), QString());
  EXPECT_EQ(ApplicationSettings::lastLogTime("AABBCCDDEEFF"), 1700000000123LL);
}

// The device manager, the lock task and the Bridge thread use the store at the same time.
TEST(ApplicationSettingsTest, ConcurrentUseFromSeveralThreadsKeepsEveryValue) {
  std::vector<std::thread> threads;
  for (int t = 0; t < 4; ++t) {
    threads.emplace_back([t] {
      for (int i = 0; i < 50; ++i) {
        ApplicationSettings::setLastLogTime(QString("MAC%1").arg(t), i);
        (void)ApplicationSettings::batteryWarningThreshhold();
      }
    });
  }
  for (std::thread& thread : threads) thread.join();
  for (int t = 0; t < 4; ++t) EXPECT_EQ(ApplicationSettings::lastLogTime(QString("MAC%1").arg(t)), 49);
}

}  // namespace
