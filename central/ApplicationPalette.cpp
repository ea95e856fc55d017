// SPDX-License-Identifier: Apache-2.0
#include "ApplicationPalette.h"

#include <QApplication>
#include <QPalette>
#include <QStyle>

bool ApplicationPalette::isDark(const QPalette& palette) {
  return palette.color(QPalette::Window).lightness() < palette.color(QPalette::WindowText).lightness();
}

void ApplicationPalette::apply(QApplication& application) {
  if (isDark(QApplication::palette())) {
    qInfo("The desktop's palette is dark; Kelvo Central keeps its light colours so that its texts stay legible");
  }
  application.setPalette(QApplication::style()->standardPalette());
}
