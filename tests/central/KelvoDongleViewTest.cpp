// SPDX-License-Identifier: Apache-2.0
// The Bridge page's states and rules, driven by the controller's outcome signals. No Bridge is plugged in, so a
// request the page makes fails at once where the controller needs the Bridge (connect, pair), which the tests use.
#include <gtest/gtest.h>

#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QStackedWidget>
#include <QTest>

#include "bridge/KelvoDongle.h"
#include "views/KelvoDongleView.h"

namespace {

DeviceInfo reader(uint8_t last, const QString& name) {
  const uint8_t address[DeviceInfo::kAddressBytes] = {last, 0x71, 0xDA, 0x7D, 0x1A, 0x00};
  return DeviceInfo(name, address, true);
}

QPushButton* button(QWidget& view, const QString& text) {
  for (QPushButton* candidate : view.findChildren<QPushButton*>()) {
    if (candidate->text() == text && candidate->isVisibleTo(&view)) return candidate;
  }
  return nullptr;
}

QStringList visibleMessages(QWidget& view) {
  QStringList shown;
  for (QLabel* label : view.findChildren<QLabel*>()) {
    if (label->isVisibleTo(&view) && !label->text().isEmpty() && label->styleSheet().startsWith("color")) {
      shown << label->text();
    }
  }
  return shown;
}

class KelvoDongleViewTest : public ::testing::Test {
 protected:
  KelvoDongle dongle;
  KelvoDongleView view{&dongle};

  void SetUp() override {
    view.show();
    emit dongle.activated();
  }
  QListWidget* readers() { return view.findChild<QListWidget*>("readers"); }
  QLineEdit* field(const char* name) { return view.findChild<QLineEdit*>(name); }
};

TEST_F(KelvoDongleViewTest, WithoutABridgeThePageSaysSoAndComesBackWithIt) {
  KelvoDongle absent;
  KelvoDongleView page(&absent);
  EXPECT_EQ(page.state(), KelvoDongleView::kNotFound);
  emit absent.activated();
  EXPECT_EQ(page.state(), KelvoDongleView::kMain);
  emit absent.deactivated();
  EXPECT_EQ(page.state(), KelvoDongleView::kNotFound);
}

TEST_F(KelvoDongleViewTest, ScanListsTheReadersAndConnectNeedsARow) {
  QTest::mouseClick(button(view, "Scan"), Qt::LeftButton);
  EXPECT_EQ(view.state(), KelvoDongleView::kScanning);
  EXPECT_EQ(visibleMessages(view), QStringList({"Scanning..."}));
  EXPECT_FALSE(readers()->isEnabled());
  emit dongle.scanFinished({reader(0x13, "Kelvo 5123456789"), reader(0x14, "Kelvo 5123456790")});
  EXPECT_EQ(view.state(), KelvoDongleView::kMain);
  ASSERT_EQ(readers()->count(), 2);
  EXPECT_EQ(readers()->item(1)->text(), "Kelvo 5123456790");
  EXPECT_FALSE(button(view, "Connect")->isEnabled());
  readers()->setCurrentRow(1);
  EXPECT_TRUE(button(view, "Connect")->isEnabled());
  // No Bridge to connect through: the controller fails at once.
  QTest::mouseClick(button(view, "Connect"), Qt::LeftButton);
  EXPECT_EQ(view.state(), KelvoDongleView::kMain);
  EXPECT_EQ(visibleMessages(view), QStringList({"Connection failed"}));
}

TEST_F(KelvoDongleViewTest, PairingTakesSixDigitsAndTheReaderLeavesTheListWhenPaired) {
  emit dongle.scanFinished({reader(0x13, "Kelvo 5123456789"), reader(0x14, "Kelvo 5123456790")});
  readers()->setCurrentRow(0);
  QTest::mouseClick(button(view, "Connect"), Qt::LeftButton);  // fails without a Bridge, but the entry is chosen
  emit dongle.connectionPairingRequired();                     // as a Bridge would say at its next poll
  ASSERT_EQ(view.state(), KelvoDongleView::kPairing);
  QLineEdit* code = field("pairingCode");
  QPushButton* pair = button(view, "Pair");
  EXPECT_FALSE(pair->isEnabled());
  QTest::keyClicks(code, "12a345");
  EXPECT_EQ(code->text(), "12345");
  EXPECT_FALSE(pair->isEnabled());
  QTest::keyClicks(code, "67");
  EXPECT_EQ(code->text(), "123456");
  EXPECT_TRUE(pair->isEnabled());
  emit dongle.connectionPairingRequired();  // the next poll says it again: what was typed stays
  EXPECT_EQ(code->text(), "123456");
  emit dongle.pairingSucceeded();
  EXPECT_EQ(view.state(), KelvoDongleView::kMain);
  EXPECT_EQ(visibleMessages(view), QStringList({"Successfully paired"}));
  ASSERT_EQ(readers()->count(), 1);
  EXPECT_EQ(readers()->item(0)->text(), "Kelvo 5123456790");

  emit dongle.connectionPairingRequired();
  QTest::mouseClick(button(view, "Cancel"), Qt::LeftButton);  // no Bridge: aborted at once
  EXPECT_EQ(view.state(), KelvoDongleView::kMain);
  EXPECT_EQ(visibleMessages(view), QStringList({"Pairing cancelled"}));
}

TEST_F(KelvoDongleViewTest, RenameChecksTheNameAndResetWantsASecondPressUntilThePageIsLeft) {
  QTest::mouseClick(button(view, "Advanced settings"), Qt::LeftButton);
  ASSERT_EQ(view.state(), KelvoDongleView::kAdvanced);
  QLineEdit* name = field("bridgeName");
  name->clear();
  QTest::mouseClick(button(view, "Change Bridge name"), Qt::LeftButton);
  EXPECT_EQ(visibleMessages(view), QStringList({"Dongle name cannot be empty"}));
  emit dongle.changeNameSucceeded("Desk");
  name->setText("Desk");
  QTest::mouseClick(button(view, "Change Bridge name"), Qt::LeftButton);
  EXPECT_EQ(visibleMessages(view), QStringList({"This name already set"}));

  QTest::mouseClick(button(view, "Reset Bridge"), Qt::LeftButton);
  EXPECT_EQ(visibleMessages(view), QStringList({"Confirm reset by pressing button again"}));
  QTest::mouseClick(button(view, "Back"), Qt::LeftButton);
  EXPECT_EQ(view.state(), KelvoDongleView::kMain);
  QTest::mouseClick(button(view, "Advanced settings"), Qt::LeftButton);
  QTest::mouseClick(button(view, "Reset Bridge"), Qt::LeftButton);
  EXPECT_EQ(view.state(), KelvoDongleView::kAdvanced) << "leaving the page disarmed the reset";
  QTest::mouseClick(button(view, "Reset Bridge"), Qt::LeftButton);
  EXPECT_EQ(view.state(), KelvoDongleView::kResetting);
  EXPECT_EQ(visibleMessages(view), QStringList({"Resetting..."}));

  emit dongle.queryPairedDevicesFinished({reader(0x13, "Kelvo 5123456789")});
  EXPECT_EQ(view.state(), KelvoDongleView::kPairedList);
  EXPECT_EQ(view.findChild<QListWidget*>("pairedReaders")->item(0)->text(), "Kelvo 5123456789");
}

}  // namespace
