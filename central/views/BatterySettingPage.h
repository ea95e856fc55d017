// SPDX-License-Identifier: Apache-2.0
#pragma once
// Sets the battery level at or below which the application warns. The threshold belongs to the application, not
// to the reader; after a change the device repeats its battery level so that its page redraws gauge and marker.

#include "SettingPage.h"

class QLabel;
class QSlider;

class BatterySettingPage : public SettingPage {
  Q_OBJECT

 public:
  // A warning at 0 % would come too late and one at 100 % would never stop.
  static constexpr int kMinimumThreshold = 10;
  static constexpr int kMaximumThreshold = 90;

  explicit BatterySettingPage(KelvoDevice* device, QWidget* parent = nullptr);

  static int clampedThreshold(int percent);

 private slots:
  void sliderMoved(int percent);

 private:
  QSlider* slider;
  QLabel* valueLabel;
};
