// SPDX-License-Identifier: Apache-2.0
#include "SettingPage.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QVBoxLayout>

#include "devices/KelvoDevice.h"

SettingPage::SettingPage(KelvoDevice* device, const QString& title, const QString& helpText, QWidget* parent)
    : QWidget(parent), kelvoDevice(device) {
  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(0, 0, 0, 0);
  layout->setSpacing(4);

  auto* titleLabel = new QLabel(title, this);
  titleLabel->setObjectName(QStringLiteral("titleLabel"));
  QFont titleFont = titleLabel->font();
  titleFont.setBold(true);
  titleFont.setPointSize(12);
  titleLabel->setFont(titleFont);
  layout->addWidget(titleLabel);

  auto* helpLabel = new QLabel(helpText, this);
  helpLabel->setObjectName(QStringLiteral("helpLabel"));
  helpLabel->setWordWrap(true);
  layout->addWidget(helpLabel);

  controlRow = new QHBoxLayout();
  controlRow->setSpacing(10);
  layout->addLayout(controlRow);
}

int SettingPage::currentValue(int settingId) const { return kelvoDevice->settings().valueOf(settingId); }

void SettingPage::followSetting(int settingId, const std::function<void(int)>& show) {
  connect(kelvoDevice, DeviceSettingTable::find(settingId)->changed, this, show);
  show(currentValue(settingId));
}

void SettingPage::changeSetting(int settingId, int value) {
  DeviceSettings settings = kelvoDevice->settings();
  int32_t* field = settings.fieldOf(settingId);
  if (field == nullptr || *field == DeviceSettings::kUnknown) return;
  *field = value;
  kelvoDevice->applySettings(settings);
}
