// SPDX-License-Identifier: Apache-2.0
// The application's over-the-air write through a reader's RPC: the pieces the reader receives and what the flasher
// reports, for a reader that takes them and one that stops answering.
#include <gtest/gtest.h>

#include <QSignalSpy>

#include "ScriptedReaderDevice.h"
#include "firmware/KelvoFlasher.h"

namespace {

QByteArray signedImage(int pages) {
  QByteArray image;
  for (int index = 0; index < 11 + pages * 2048 + 16; ++index) image.append(static_cast<char>(index * 13));
  return image;
}

TEST(KelvoFlasher, PiecesGoOutWithOffsetsAndProgressAsTheyAreWritten) {
  ScriptedReaderDevice reader("KLV21234567890");
  reader.answer(20, QByteArray(1, 0));
  const QByteArray image = signedImage(3);
  KelvoFlasher flasher(&reader, image);
  QSignalSpy progress(&flasher, &KelvoFlasher::flashUpdateStateTransited);
  QSignalSpy errors(&flasher, &KelvoFlasher::errorOccurred);
  ASSERT_TRUE(flasher.writeOverTheAir());
  EXPECT_TRUE(errors.isEmpty());
  QList<int> percents;
  for (const QList<QVariant>& report : progress) percents << report.first().toInt();
  EXPECT_EQ(percents, QList<int>({0, 8, 16, 25, 33, 41, 50, 58, 66, 75, 83, 91, 100}));
  const QList<QByteArray> requests = reader.requests();
  ASSERT_EQ(requests.size(), 13);
  // The last piece: offset 6144, 31 bytes, the image's last 31 bytes.
  EXPECT_EQ(requests.last().left(7), QByteArray::fromHex("14001800001f00"));
  EXPECT_EQ(requests.last().mid(7), image.right(31));
  EXPECT_EQ(requests.first().mid(7, 4), QByteArray::fromHex("1b180000"));
}

TEST(KelvoFlasher, AReaderThatStopsAnsweringEndsTheWriteWithThePiece) {
  ScriptedReaderDevice reader("KLV21234567890");
  KelvoFlasher flasher(&reader, signedImage(1));
  QSignalSpy errors(&flasher, &KelvoFlasher::errorOccurred);
  EXPECT_FALSE(flasher.writeOverTheAir());
  ASSERT_EQ(errors.size(), 1);
  EXPECT_EQ(errors.first().first().toString(), QStringLiteral("Failed to flash Firmware page 0"));

  KelvoFlasher wrongSize(&reader, QByteArray(4096, 'x'));
  QSignalSpy sizeErrors(&wrongSize, &KelvoFlasher::errorOccurred);
  EXPECT_FALSE(wrongSize.writeOverTheAir());
  EXPECT_EQ(sizeErrors.first().first().toString(),
            QStringLiteral("Firmware size must be multiple of 2048 + 16 but was 0"));
}

}  // namespace
