#include "BuzzerSettingPage.h"

#include "devices/KelvoDevice.h"

BuzzerSettingPage::BuzzerSettingPage(KelvoDevice* device, QWidget* parent)
    : ToggleSettingPage(device, kBuzzerEnabledId, tr("Buzzer"), tr("\nSwitch buzzer on/off.\n"), tr("Buzzer on"),
                        parent) {
  connect(device, &KelvoDevice::buzzerEnabledChanged, this, &BuzzerSettingPage::valueChanged);
}
