// SPDX-License-Identifier: Apache-2.0
#include "ToggleSettingPage.h"

#include <QHBoxLayout>
#include <QPushButton>

#include "devices/KelvoDevice.h"

ToggleSettingPage::ToggleSettingPage(KelvoDevice* device, int settingId, const QString& title, const QString& helpText,
                                     const QString& buttonText, QWidget* parent)
    : SettingPage(device, title, helpText, parent), settingId(settingId) {
  checkButton = new QPushButton(buttonText, this);
  checkButton->setObjectName(QStringLiteral("checkButton"));
  checkButton->setCheckable(true);
  checkButton->setCursor(Qt::PointingHandCursor);
  checkButton->setStyleSheet(
      QStringLiteral("QPushButton { background-color: rgb(240, 240, 240); }"
                     "QPushButton:checked { background-color: rgb(160, 210, 160); }"));
  controls()->addWidget(checkButton);
  controls()->addStretch(1);
  connect(checkButton, &QPushButton::clicked, this, &ToggleSettingPage::toggle);
  followSetting(settingId, [this](int value) { valueChanged(value); });
}

int ToggleSettingPage::toggled(int value) { return value == 0 ? 1 : 0; }

void ToggleSettingPage::valueChanged(int value) {
  checkButton->setChecked(value == 1);
  checkButton->setEnabled(value != DeviceSettings::kUnknown);
}

// The button shows the reader's value, not the click: it changes when the reader confirms.
void ToggleSettingPage::toggle() {
  const int value = currentValue(settingId);
  valueChanged(value);
  changeSetting(settingId, toggled(value));
}
