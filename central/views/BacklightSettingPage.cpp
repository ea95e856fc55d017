// SPDX-License-Identifier: Apache-2.0
#include "BacklightSettingPage.h"

BacklightSettingPage::BacklightSettingPage(KelvoDevice* device, QWidget* parent)
    : ToggleSettingPage(device, DeviceSettingTable::kBacklightEnabled, tr("Backlight"),
                        tr("\nToggle backlight on/off.\n"), tr("Backlight on"), parent) {}
