// SPDX-License-Identifier: Apache-2.0
#pragma once
// Where the battery gauge's bar and threshold marker sit inside the battery picture (":/res/gui/Battery-Body.png",
// 60 x 222), and how the bar is coloured. Both grow upwards from the bottom of the battery's inside.

#include <QRect>
#include <QString>

class BatteryGauge {
 public:
  static constexpr int kLeft = 11;
  static constexpr int kWidth = 38;
  static constexpr int kBottom = 211;
  static constexpr int kFullHeight = 193;
  // An empty battery still shows a sliver, so the gauge never looks broken.
  static constexpr int kMinimumHeight = 6;

  // Readers report out-of-range levels now and then; the gauge shows them as 0 or 100.
  static int clampedLevel(int level);
  static int barHeight(int percent);
  static QRect barGeometry(int percent);
  // The threshold marker has a bar's geometry for the threshold level; only its top edge is drawn.
  static QRect markerGeometry(int thresholdPercent);
  static QString markerStyle();
  static bool isLow(int level, int thresholdPercent);
  static QString barStyle(int level, int thresholdPercent);
  static QString levelText(int level);
};
