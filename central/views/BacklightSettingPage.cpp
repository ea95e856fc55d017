#include "BacklightSettingPage.h"

#include "devices/KelvoDevice.h"

BacklightSettingPage::BacklightSettingPage(KelvoDevice* device, QWidget* parent)
    : ToggleSettingPage(device, kBacklightEnabledId, tr("Backlight"), tr("\nToggle backlight on/off.\n"),
                        tr("Backlight on"), parent) {
  connect(device, &KelvoDevice::backlightEnabledChanged, this, &BacklightSettingPage::valueChanged);
}
