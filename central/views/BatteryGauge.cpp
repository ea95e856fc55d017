// SPDX-License-Identifier: Apache-2.0
#include "BatteryGauge.h"

#include <QtMath>
#include <algorithm>

namespace {
// The bar's light grey alone hardly shows on the page's light grey: an outline gives it its edge.
const char kNormalStyle[] = "background-color: rgb(236, 236, 237); border: 1px solid rgb(128, 128, 128);";
const char kLowStyle[] = "background-color: rgb(255, 0, 0);";
const char kMarkerStyle[] = "background-color: rgba(0, 0, 0, 0); border-top: 2px dashed rgb(196, 18, 0);";
}  // namespace

int BatteryGauge::clampedLevel(int level) { return std::clamp(level, 0, 100); }

int BatteryGauge::barHeight(int percent) {
  const int height = qRound(clampedLevel(percent) * kFullHeight / 100.0);
  return std::max(height, kMinimumHeight);
}

QRect BatteryGauge::barGeometry(int percent) {
  const int height = barHeight(percent);
  return QRect(kLeft, kBottom - height, kWidth, height);
}

QRect BatteryGauge::markerGeometry(int thresholdPercent) { return barGeometry(thresholdPercent); }

QString BatteryGauge::markerStyle() { return QString::fromLatin1(kMarkerStyle); }

bool BatteryGauge::isLow(int level, int thresholdPercent) { return clampedLevel(level) <= thresholdPercent; }

QString BatteryGauge::barStyle(int level, int thresholdPercent) {
  return QString::fromLatin1(isLow(level, thresholdPercent) ? kLowStyle : kNormalStyle);
}

QString BatteryGauge::levelText(int level) { return QStringLiteral("%1 %").arg(clampedLevel(level)); }
