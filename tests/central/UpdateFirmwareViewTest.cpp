// SPDX-License-Identifier: Apache-2.0
// The flashing dialog follows the manager's four state signals; Escape never closes it, OK closes it once a run
// has ended.
#include <gtest/gtest.h>

#include <QKeyEvent>
#include <QLabel>
#include <QPushButton>
#include <QTest>
#include <QTranslator>

#include "devices/KelvoDevice.h"
#include "devices/KelvoDeviceManager.h"
#include "trevalon/firmware/Firmware.h"
#include "views/UpdateFirmwareView.h"

namespace {

KelvoDevice::Descriptor descriptor() {
  KelvoDevice::Descriptor values;
  values.insert("Serial", "KLV21234567890");
  values.insert("Firmware", "2.1.0");
  return values;
}

std::shared_ptr<trevalon::Firmware> firmware() {
  auto image = std::make_shared<trevalon::Firmware>();
  image->version = trevalon::FirmwareVersion::parse("2.2.0");
  image->description = "Longer battery life";
  return image;
}

QString visibleTexts(UpdateFirmwareView& view) {
  QStringList texts;
  for (QLabel* label : view.findChildren<QLabel*>()) {
    if (label->isVisibleTo(&view) && !label->text().isEmpty()) texts << label->text();
  }
  return texts.join('|');
}

TEST(UpdateFirmwareView, EachStateShowsItsPageAndOnlyTheEndsOfferOk) {
  KelvoDeviceManager manager(nullptr, false);
  KelvoDevice device(descriptor());
  device.setAvailableFirmware(firmware());
  UpdateFirmwareView view(&manager, &device, false);
  view.show();
  auto* ok = view.findChild<QPushButton*>("okButton");
  EXPECT_TRUE(visibleTexts(view).contains("Kelvo KLV21234567890"));
  EXPECT_TRUE(visibleTexts(view).contains("New firmware: 2.2.0\n\nDescription: Longer battery life"));

  emit manager.flashConnectStateTransited();
  EXPECT_EQ(view.currentPage(), UpdateFirmwareView::kConnectPage);
  EXPECT_TRUE(visibleTexts(view).contains("Please connect your Kelvo via USB"));
  EXPECT_FALSE(ok->isVisible());

  // The first progress report already shows the progress page.
  emit manager.flashUpdateStateTransited(0);
  EXPECT_EQ(view.currentPage(), UpdateFirmwareView::kUpdatePage);
  EXPECT_TRUE(visibleTexts(view).contains("Update in progress... 0%\n\nYour workstation may be locked"));
  emit manager.flashUpdateStateTransited(42);
  EXPECT_TRUE(visibleTexts(view).contains("Update in progress... 42%"));
  EXPECT_FALSE(ok->isVisible());
  QTest::keyClick(&view, Qt::Key_Escape);
  EXPECT_TRUE(view.isVisible()) << "Escape closed the dialog during the update";

  emit manager.flashFinishStateTransited();
  EXPECT_EQ(view.currentPage(), UpdateFirmwareView::kFinishPage);
  EXPECT_TRUE(visibleTexts(view).contains("Done!\n\nYou can safely remove your Kelvo from USB"));
  ASSERT_TRUE(ok->isVisible());
  QTest::keyClick(&view, Qt::Key_Escape);
  EXPECT_TRUE(view.isVisible());
  ok->click();
  EXPECT_FALSE(view.isVisible());
}

TEST(UpdateFirmwareView, AnErrorShowsItsReasonAndOverTheAirAsksForNoCable) {
  KelvoDeviceManager manager(nullptr, false);
  KelvoDevice device(descriptor());
  UpdateFirmwareView view(&manager, &device, true);
  view.show();
  EXPECT_FALSE(visibleTexts(view).contains("Please connect your Kelvo via USB"));
  emit manager.flashErrorStateTransited("Error");
  EXPECT_EQ(view.currentPage(), UpdateFirmwareView::kErrorPage);
  EXPECT_TRUE(visibleTexts(view).contains("Error"));
  EXPECT_TRUE(view.findChild<QPushButton*>("okButton")->isVisible());
}

TEST(UpdateFirmwareView, GermanTexts) {
  QTranslator translator;
  ASSERT_TRUE(translator.load("kelvocentral_de_DE", ":/i18n"));
  QCoreApplication::installTranslator(&translator);
  {
    KelvoDeviceManager manager(nullptr, false);
    KelvoDevice device(descriptor());
    UpdateFirmwareView view(&manager, &device, false);
    view.show();
    EXPECT_EQ(view.windowTitle(), "Kelvo wird aktualisiert");
    EXPECT_TRUE(visibleTexts(view).contains(QString::fromUtf8("Bitte schließen Sie Ihren Kelvo über USB an")));
    emit manager.flashUpdateStateTransited(7);
    EXPECT_TRUE(visibleTexts(view).contains(QString::fromUtf8("Aktualisierung läuft... 7%")));
  }
  QCoreApplication::removeTranslator(&translator);
}

}  // namespace
