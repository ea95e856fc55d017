// SPDX-License-Identifier: Apache-2.0
#pragma once
// Lowers or raises the reader's transmit power one level at a time, within the levels its generation has.

#include "SettingPage.h"

class QLabel;
class QPushButton;

class SignalStrngSettingPage : public SettingPage {
  Q_OBJECT

 public:
  explicit SignalStrngSettingPage(KelvoDevice* device, QWidget* parent = nullptr);

  // 255 is what a reader reports when it has no valid level; an unknown level (-1) offers no change at all.
  static bool canDecrease(int value);
  static bool canIncrease(int value, int levels);
  static int decreased(int value);
  static int increased(int value, int levels);

 private slots:
  void signalStrengthChanged(int value);
  void decrease();
  void increase();

 private:
  int levels;
  QPushButton* decreaseButton;
  QPushButton* increaseButton;
  QLabel* levelLabel;
};
