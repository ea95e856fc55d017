#include "DisplaySettingPage.h"

#include "devices/KelvoDevice.h"

DisplaySettingPage::DisplaySettingPage(KelvoDevice* device, QWidget* parent)
    : ToggleSettingPage(device, kDisplayAlwaysEnabledId, tr("Display"),
                        tr("\nChoose between continuous and temporary display mode.\n"), tr("Always on"), parent) {
  connect(device, &KelvoDevice::displayAlwaysEnabledChanged, this, &DisplaySettingPage::valueChanged);
}
