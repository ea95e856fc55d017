// SPDX-License-Identifier: Apache-2.0
#pragma once

#include "ToggleSettingPage.h"

class BuzzerSettingPage : public ToggleSettingPage {
  Q_OBJECT

 public:
  explicit BuzzerSettingPage(KelvoDevice* device, QWidget* parent = nullptr);
};
