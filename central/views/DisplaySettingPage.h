// SPDX-License-Identifier: Apache-2.0
#pragma once

#include "ToggleSettingPage.h"

class DisplaySettingPage : public ToggleSettingPage {
  Q_OBJECT

 public:
  explicit DisplaySettingPage(KelvoDevice* device, QWidget* parent = nullptr);
};
