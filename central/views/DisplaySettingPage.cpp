// SPDX-License-Identifier: Apache-2.0
#include "DisplaySettingPage.h"

DisplaySettingPage::DisplaySettingPage(KelvoDevice* device, QWidget* parent)
    : ToggleSettingPage(device, DeviceSettingTable::kDisplayAlwaysEnabled, tr("Display"),
                        tr("\nChoose between continuous and temporary display mode.\n"), tr("Always on"), parent) {}
