// SPDX-License-Identifier: Apache-2.0
#include "AdvertisingSettingPage.h"

#include <QHBoxLayout>
#include <QPushButton>

#include "devices/KelvoDevice.h"

namespace {
const char kButtonStyle[] = "background-color: rgb(240, 240, 240);";
}

AdvertisingSettingPage::AdvertisingSettingPage(KelvoDevice* device, QWidget* parent)
    : SettingPage(device, tr("Advertising"), tr("\nChoose between a permanent or temporary signal.\n"), parent) {
  modeButton = new QPushButton(this);
  modeButton->setObjectName(QStringLiteral("modeButton"));
  modeButton->setCheckable(true);
  modeButton->setCursor(Qt::PointingHandCursor);
  modeButton->setStyleSheet(QString::fromLatin1(kButtonStyle));
  scheduleButton = new QPushButton(tr("Work Schedule"), this);
  scheduleButton->setObjectName(QStringLiteral("scheduleButton"));
  scheduleButton->setCursor(Qt::PointingHandCursor);
  scheduleButton->setStyleSheet(QString::fromLatin1(kButtonStyle));
  controls()->addWidget(modeButton);
  controls()->addWidget(scheduleButton);

  connect(modeButton, &QPushButton::clicked, this, &AdvertisingSettingPage::toggle);
  connect(scheduleButton, &QPushButton::clicked, this, &AdvertisingSettingPage::workingTimeRangesClicked);
  followSetting(DeviceSettingTable::kAdvertisingMode, [this](int mode) { advertisingModeChanged(mode); });
}

int AdvertisingSettingPage::toggled(int mode) { return mode == kPermanent ? kTemporary : kPermanent; }

void AdvertisingSettingPage::advertisingModeChanged(int mode) {
  modeButton->setChecked(mode == kTemporary);
  modeButton->setEnabled(mode != DeviceSettings::kUnknown);
  modeButton->setText(mode == kTemporary ? tr("Temporary") : tr("Permanent"));
}

// The button shows the reader's mode, not the click: it changes when the reader confirms.
void AdvertisingSettingPage::toggle() {
  const int mode = currentValue(DeviceSettingTable::kAdvertisingMode);
  advertisingModeChanged(mode);
  changeSetting(DeviceSettingTable::kAdvertisingMode, toggled(mode));
}
