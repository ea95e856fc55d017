// SPDX-License-Identifier: Apache-2.0
#include "SettingsView.h"

#include <gtest/gtest.h>

#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSignalSpy>
#include <QTest>

#include "ApplicationSettings.h"

namespace {

class SettingsViewTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ApplicationSettings::setServerUrl("https://kem.example");
    ApplicationSettings::setLockingWorkstation(false);
  }
  QLineEdit* url() { return view.findChild<QLineEdit*>("serverUrlEdit"); }
  QCheckBox* locking() { return view.findChild<QCheckBox*>("lockingCheckBox"); }
  QPushButton* button(const char* name) { return view.findChild<QPushButton*>(name); }

  SettingsView view;
};

TEST_F(SettingsViewTest, ShowsTheStoredValuesEveryTimeItOpens) {
  EXPECT_EQ(view.windowTitle(), "Settings");
  EXPECT_EQ(view.findChild<QLabel*>("serverUrlLabel")->text(), "KEM Server URL: ");
  EXPECT_EQ(locking()->text(), "Locking workstation upon card removal");
  view.show();
  EXPECT_EQ(url()->text(), "https://kem.example");
  EXPECT_FALSE(locking()->isChecked());
  view.hide();
  ApplicationSettings::setServerUrl("https://other.example");
  view.show();
  EXPECT_EQ(url()->text(), "https://other.example");
}

TEST_F(SettingsViewTest, SaveStoresAnnouncesTheAddressAndCloses) {
  QSignalSpy changed(&view, &SettingsView::kemServerAddressChanged);
  view.show();
  url()->setText("https://new.example");
  locking()->setChecked(true);
  QTest::mouseClick(button("saveButton"), Qt::LeftButton);
  EXPECT_EQ(ApplicationSettings::serverUrl(), "https://new.example");
  EXPECT_TRUE(ApplicationSettings::lockingWorkstation());
  ASSERT_EQ(changed.count(), 1);
  EXPECT_EQ(changed.at(0).at(0).toString(), "https://new.example");
  EXPECT_FALSE(view.isVisible());
}

TEST_F(SettingsViewTest, CancelClosesWithoutStoring) {
  QSignalSpy changed(&view, &SettingsView::kemServerAddressChanged);
  view.show();
  url()->setText("https://ignored.example");
  locking()->setChecked(true);
  QTest::mouseClick(button("cancelButton"), Qt::LeftButton);
  EXPECT_EQ(ApplicationSettings::serverUrl(), "https://kem.example");
  EXPECT_FALSE(ApplicationSettings::lockingWorkstation());
  EXPECT_EQ(changed.count(), 0);
  EXPECT_FALSE(view.isVisible());
}

}  // namespace
