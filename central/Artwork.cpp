// SPDX-License-Identifier: Apache-2.0
#include "Artwork.h"

#include <QFile>
#include <QGuiApplication>

QString Artwork::doubleOf(const QString& resource) {
  const int dot = resource.lastIndexOf(QLatin1Char('.'));
  if (dot < 0) return resource + QStringLiteral("@2x");
  return resource.left(dot) + QStringLiteral("@2x") + resource.mid(dot);
}

QPixmap Artwork::pixmap(const QString& resource, qreal devicePixelRatio) {
  if (resource.isEmpty()) return QPixmap();
  if (devicePixelRatio > 1.0) {
    const QString twice = doubleOf(resource);
    if (QFile::exists(twice)) {
      QPixmap sharp(twice);
      sharp.setDevicePixelRatio(2.0);
      return sharp;
    }
  }
  return QPixmap(resource);
}

QPixmap Artwork::pixmap(const QString& resource) { return pixmap(resource, qApp->devicePixelRatio()); }
