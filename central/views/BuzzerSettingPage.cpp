// SPDX-License-Identifier: Apache-2.0
#include "BuzzerSettingPage.h"

BuzzerSettingPage::BuzzerSettingPage(KelvoDevice* device, QWidget* parent)
    : ToggleSettingPage(device, DeviceSettingTable::kBuzzerEnabled, tr("Buzzer"), tr("\nSwitch buzzer on/off.\n"),
                        tr("Buzzer on"), parent) {}
