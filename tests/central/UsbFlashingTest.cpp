// SPDX-License-Identifier: Apache-2.0
// The application's USB route against a bootloader emulated on a umockdev test bed (run under scripts/with-usb with
// scenarios/usb-bootloader.json): the finder sees the reader by the end of its serial, and the flasher writes the
// bootloader once the reader no longer answers over the air.
#include <gtest/gtest.h>

#include <QFile>
#include <QSignalSpy>
#include <QTest>

#include "ScriptedReaderDevice.h"
#include "firmware/KelvoFlasher.h"
#include "firmware/KelvoUsbReaderFinder.h"
#include "kelvo/simulator/kelvo/SignedFirmwareImage.h"

namespace {

const char kReport[] = "usb-bootloader.report";

TEST(UsbFlashing, TheFinderSeesTheReaderByTheEndOfItsSerialOnly) {
  KelvoUsbReaderFinder finder(QStringLiteral("21234567890"));
  QSignalSpy found(&finder, &KelvoUsbReaderFinder::usbReaderFound);
  EXPECT_TRUE(found.wait(5000));
  KelvoUsbReaderFinder other(QStringLiteral("KLV29999999999"));
  QSignalSpy notFound(&other, &KelvoUsbReaderFinder::usbReaderFound);
  EXPECT_FALSE(notFound.wait(2500));
}

TEST(UsbFlashing, AReaderInItsBootloaderIsWrittenPageByPage) {
  QFile::remove(kReport);
  ScriptedReaderDevice reader(QStringLiteral("KLV21234567890"));  // it answers nothing over the air any more
  const std::vector<uint8_t> image = kelvo::simulator::SignedFirmwareImage::make("2.3.0", 3);
  KelvoFlasher flasher(&reader,
                       QByteArray(reinterpret_cast<const char*>(image.data()), static_cast<int>(image.size())));
  QSignalSpy progress(&flasher, &KelvoFlasher::flashUpdateStateTransited);
  QSignalSpy finished(&flasher, &KelvoFlasher::flashFinishStateTransited);
  QSignalSpy errors(&flasher, &KelvoFlasher::errorOccurred);
  flasher.startUsb();
  ASSERT_TRUE(finished.wait(20000)) << errors.size();
  QList<int> percents;
  for (const QList<QVariant>& report : progress) percents << report.first().toInt();
  EXPECT_EQ(percents, QList<int>({0, 0, 33, 66, 100}));
  QFile report(kReport);
  ASSERT_TRUE(report.open(QIODevice::ReadOnly));
  EXPECT_EQ(report.readAll(), QByteArray(R"({"generation": 2, "pages": 3, "erased": true, "installed": "2.3.0"})"));
}

TEST(UsbFlashing, AReaderOfUnknownGenerationIsNeverWrittenAndSaidSoEachSecond) {
  QFile::remove(kReport);
  // The bootloader on the bus ends with this serial, so only the unknown generation keeps it from being written.
  ScriptedReaderDevice reader(QStringLiteral("21234567890"));
  const std::vector<uint8_t> image = kelvo::simulator::SignedFirmwareImage::make("2.3.0", 3);
  KelvoFlasher flasher(&reader,
                       QByteArray(reinterpret_cast<const char*>(image.data()), static_cast<int>(image.size())));
  QSignalSpy progress(&flasher, &KelvoFlasher::flashUpdateStateTransited);
  QSignalSpy errors(&flasher, &KelvoFlasher::errorOccurred);
  flasher.startUsb();
  QTest::qWait(3500);
  EXPECT_GE(errors.size(), 2);
  EXPECT_LE(errors.size(), 4);
  for (const QList<QVariant>& error : errors) EXPECT_EQ(error.first().toString(), "Unknown Device type to flash!");
  EXPECT_TRUE(progress.isEmpty());
  EXPECT_FALSE(QFile::exists(kReport));
}

}  // namespace
