// SPDX-License-Identifier: Apache-2.0
#pragma once

#include "ToggleSettingPage.h"

class BacklightSettingPage : public ToggleSettingPage {
  Q_OBJECT

 public:
  explicit BacklightSettingPage(KelvoDevice* device, QWidget* parent = nullptr);
};
