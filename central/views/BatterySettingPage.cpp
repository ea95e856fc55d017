// SPDX-License-Identifier: Apache-2.0
#include "BatterySettingPage.h"

#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QSlider>
#include <algorithm>

#include "ApplicationSettings.h"
#include "devices/KelvoDevice.h"

BatterySettingPage::BatterySettingPage(KelvoDevice* device, QWidget* parent)
    : SettingPage(device, tr("Battery Warning"), tr("\nDefine when you should be warned to charge your Kelvo.\n"),
                  parent) {
  auto* scale = new QWidget(this);
  auto* grid = new QGridLayout(scale);
  grid->setContentsMargins(0, 0, 0, 0);
  slider = new QSlider(Qt::Horizontal, scale);
  slider->setObjectName(QStringLiteral("slider"));
  slider->setRange(0, 100);
  slider->setValue(ApplicationSettings::batteryWarningThreshhold());
  valueLabel = new QLabel(scale);
  valueLabel->setObjectName(QStringLiteral("valueLabel"));
  valueLabel->setAlignment(Qt::AlignCenter);
  valueLabel->setText(QStringLiteral("%1%").arg(slider->value()));
  auto* lowLabel = new QLabel(tr("20%"), scale);
  auto* highLabel = new QLabel(tr("100%"), scale);
  highLabel->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
  grid->addWidget(valueLabel, 0, 0, 1, 2);
  grid->addWidget(slider, 1, 0, 1, 2);
  grid->addWidget(lowLabel, 2, 0);
  grid->addWidget(highLabel, 2, 1);
  controls()->addWidget(scale);

  connect(slider, &QSlider::valueChanged, this, &BatterySettingPage::sliderMoved);
}

int BatterySettingPage::clampedThreshold(int percent) {
  return std::clamp(percent, kMinimumThreshold, kMaximumThreshold);
}

void BatterySettingPage::sliderMoved(int percent) {
  const int threshold = clampedThreshold(percent);
  if (threshold != percent) {
    // Moving the slider back calls this again with the allowed value, which does the rest.
    slider->setValue(threshold);
    return;
  }
  ApplicationSettings::setBatteryWarningThreshhold(threshold);
  valueLabel->setText(QStringLiteral("%1%").arg(threshold));
  emit device()->batteryLevelChanged(device()->batteryLevel());
}
