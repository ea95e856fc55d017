// SPDX-License-Identifier: Apache-2.0
#include "Artwork.h"

#include <gtest/gtest.h>

namespace {

// Every picture comes twice: as drawn for a window at scale 1, and at twice the size for a doubled window, where
// it keeps its logical size and its sharpness.
TEST(ArtworkTest, ADoubledWindowGetsTheDoublePicture) {
  const QString logo = QStringLiteral(":/res/gui/Logo.png");
  const QPixmap plain = Artwork::pixmap(logo, 1.0);
  ASSERT_FALSE(plain.isNull());
  EXPECT_EQ(plain.devicePixelRatio(), 1.0);
  for (const qreal ratio : {2.0, 3.0}) {
    const QPixmap sharp = Artwork::pixmap(logo, ratio);
    EXPECT_EQ(sharp.devicePixelRatio(), 2.0);
    EXPECT_EQ(sharp.size(), plain.size() * 2);
  }
  EXPECT_EQ(Artwork::doubleOf(logo), ":/res/gui/Logo@2x.png");
  EXPECT_TRUE(Artwork::pixmap(QString(), 2.0).isNull());
  // A picture without a double (none is missing today) falls back to the plain one.
  EXPECT_EQ(Artwork::pixmap(QStringLiteral(":/res/i18n/none.png"), 2.0).isNull(), true);
}

}  // namespace
