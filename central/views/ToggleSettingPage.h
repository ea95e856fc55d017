// SPDX-License-Identifier: Apache-2.0
#pragma once
// A page with one check button for a reader setting that is either on (1) or off (0): display, backlight, buzzer.
// The button follows the reader's value; pressing it asks for the other value.

#include "SettingPage.h"

class QPushButton;

class ToggleSettingPage : public SettingPage {
  Q_OBJECT

 public:
  static int toggled(int value);

 protected:
  ToggleSettingPage(KelvoDevice* device, int settingId, const QString& title, const QString& helpText,
                    const QString& buttonText, QWidget* parent);

 private slots:
  void valueChanged(int value);
  void toggle();

 private:
  int settingId;
  QPushButton* checkButton;
};
