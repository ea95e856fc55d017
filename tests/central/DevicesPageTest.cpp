// SPDX-License-Identifier: Apache-2.0
// The device list of the "Change Kelvo" pop-up.
#include <gtest/gtest.h>

#include <QListWidget>
#include <QPushButton>
#include <QSignalSpy>

#include "ScriptedReaderDevice.h"
#include "views/DevicesPage.h"

namespace {

TEST(DevicesPageTest, ListsDevicesInOrderMarksTheCurrentOneAndShowsUninitialisedOnesInRed) {
  ScriptedReaderDevice first("5720000001");
  ScriptedReaderDevice second("K2XX000002");
  ScriptedReaderDevice third("KLV2000003");
  first.initialize(1, 50, DeviceSettings());
  third.initialize(6, 50, DeviceSettings());

  DevicesPage page({&first, &second, &third}, &third);
  auto* list = page.findChild<QListWidget*>("deviceList");
  ASSERT_EQ(list->count(), 3);
  EXPECT_EQ(list->item(0)->text(), "Kelvo 5720000001");
  EXPECT_EQ(list->item(1)->text(), "Kelvo K2XX000002");
  EXPECT_EQ(list->item(2)->text(), "Kelvo KLV2000003");
  EXPECT_EQ(list->currentRow(), 2);
  EXPECT_EQ(list->item(1)->foreground().color(), QColor(255, 0, 0));
  EXPECT_NE(list->item(0)->foreground().color(), QColor(255, 0, 0));
  EXPECT_EQ(list->maximumHeight(), 120);
  EXPECT_EQ(page.size(), QSize(433, 369));

  QSignalSpy selected(&page, &DevicesPage::deviceSelected);
  list->setCurrentRow(0);
  page.findChild<QPushButton*>("selectButton")->click();
  ASSERT_EQ(selected.count(), 1);
  EXPECT_EQ(selected.first().at(0).toString(), "Kelvo 5720000001");
}

TEST(DevicesPageTest, SelectWithoutACurrentItemNamesNoDevice) {
  ScriptedReaderDevice only("5720000001");
  DevicesPage page({&only}, nullptr);
  QSignalSpy selected(&page, &DevicesPage::deviceSelected);
  page.findChild<QPushButton*>("selectButton")->click();
  ASSERT_EQ(selected.count(), 1);
  EXPECT_EQ(selected.first().at(0).toString(), QString());
}

}  // namespace
