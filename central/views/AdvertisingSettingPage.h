// SPDX-License-Identifier: Apache-2.0
#pragma once
// Switches the reader between permanent advertising (mode 1) and advertising only in its working times (mode 2),
// and leads to the page where those working times are set.

#include "SettingPage.h"

class QPushButton;

class AdvertisingSettingPage : public SettingPage {
  Q_OBJECT

 public:
  static constexpr int kPermanent = 1;
  static constexpr int kTemporary = 2;

  explicit AdvertisingSettingPage(KelvoDevice* device, QWidget* parent = nullptr);

  static int toggled(int mode);

 signals:
  void workingTimeRangesClicked();

 private slots:
  void advertisingModeChanged(int mode);
  void toggle();

 private:
  QPushButton* modeButton;
  QPushButton* scheduleButton;
};
