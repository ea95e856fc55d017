// SPDX-License-Identifier: Apache-2.0
#include "SignalStrngSettingPage.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QVariant>
#include <algorithm>

#include "Artwork.h"
#include "DeviceSymbols.h"
#include "devices/KelvoDevice.h"

namespace {

constexpr int kNoValidLevel = 255;
constexpr int kButtonSize = 40;

QString buttonStyle(const QString& kind) {
  return QStringLiteral(
             "QPushButton { border: none; border-image: url(:/res/gui/MinMax_%1-normal.png); }"
             "QPushButton:pressed { border-image: url(:/res/gui/MinMax_%1-aktiv.png); }"
             "QPushButton:disabled { border-image: url(:/res/gui/MinMax_%1-limit.png); }")
      .arg(kind);
}

QPushButton* makeButton(QWidget* parent, const QString& name, const QString& kind) {
  auto* button = new QPushButton(parent);
  button->setObjectName(name);
  button->setFixedSize(kButtonSize, kButtonSize);
  button->setCursor(Qt::PointingHandCursor);
  button->setStyleSheet(buttonStyle(kind));
  return button;
}

}  // namespace

SignalStrngSettingPage::SignalStrngSettingPage(KelvoDevice* device, QWidget* parent)
    : SettingPage(device, tr("Signal Strength"), tr("\nChoose signal strength.\n"), parent),
      levels(DeviceSymbols::signalLevels(device->serial())) {
  decreaseButton = makeButton(this, QStringLiteral("decreaseButton"), QStringLiteral("min"));
  increaseButton = makeButton(this, QStringLiteral("increaseButton"), QStringLiteral("max"));
  levelLabel = new QLabel(this);
  levelLabel->setObjectName(QStringLiteral("levelLabel"));
  levelLabel->setAlignment(Qt::AlignCenter);
  controls()->addWidget(decreaseButton);
  controls()->addWidget(levelLabel, 1);
  controls()->addWidget(increaseButton);

  connect(decreaseButton, &QPushButton::clicked, this, &SignalStrngSettingPage::decrease);
  connect(increaseButton, &QPushButton::clicked, this, &SignalStrngSettingPage::increase);
  followSetting(DeviceSettingTable::kSignalStrength, [this](int value) { signalStrengthChanged(value); });
}

bool SignalStrngSettingPage::canDecrease(int value) { return value >= 1 && value != kNoValidLevel; }

bool SignalStrngSettingPage::canIncrease(int value, int levels) { return value >= 0 && value < levels - 1; }

int SignalStrngSettingPage::decreased(int value) { return std::max(value - 1, 0); }

int SignalStrngSettingPage::increased(int value, int levels) { return std::min(value + 1, levels - 1); }

void SignalStrngSettingPage::signalStrengthChanged(int value) {
  decreaseButton->setEnabled(canDecrease(value));
  increaseButton->setEnabled(canIncrease(value, levels));
  const QString symbol = DeviceSymbols::signalSymbol(value, levels);
  levelLabel->setPixmap(Artwork::pixmap(symbol));
  levelLabel->setProperty("resource", symbol);
}

void SignalStrngSettingPage::decrease() {
  const int value = currentValue(DeviceSettingTable::kSignalStrength);
  if (canDecrease(value)) changeSetting(DeviceSettingTable::kSignalStrength, decreased(value));
}

void SignalStrngSettingPage::increase() {
  const int value = currentValue(DeviceSettingTable::kSignalStrength);
  if (canIncrease(value, levels)) changeSetting(DeviceSettingTable::kSignalStrength, increased(value, levels));
}
