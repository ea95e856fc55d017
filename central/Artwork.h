// SPDX-License-Identifier: Apache-2.0
#pragma once
// The program's pictures as the window's scale wants them: every picture is rendered from its drawing at build
// time once as it is and once at twice its size ("name@2x.png"); a window scaled by two or more takes the double,
// so it stays sharp. (QIcon finds the double by itself; labels' pixmaps come from here.)

#include <QPixmap>
#include <QString>

class Artwork {
 public:
  // The picture at `resource` (":/res/gui/Logo.png") for a device pixel ratio; empty for an empty name.
  static QPixmap pixmap(const QString& resource, qreal devicePixelRatio);
  // The same for the application's ratio.
  static QPixmap pixmap(const QString& resource);
  // "name@2x.png" for "name.png".
  static QString doubleOf(const QString& resource);
};
