// SPDX-License-Identifier: Apache-2.0
#include "views/UpdateDevicePage.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

#include "devices/KelvoDevice.h"
#include "trevalon/firmware/Firmware.h"

UpdateDevicePage::UpdateDevicePage(KelvoDevice* device, QWidget* parent) : QWidget(parent), device(device) {
  auto* layout = new QVBoxLayout(this);
  auto* text = new QLabel(offerText(device), this);
  text->setObjectName(QStringLiteral("offerLabel"));
  text->setWordWrap(true);
  layout->addWidget(text);

  auto* buttons = new QHBoxLayout();
  auto* update = new QPushButton(tr("Update"), this);
  update->setObjectName(QStringLiteral("updateButton"));
  auto* cancel = new QPushButton(tr("Cancel"), this);
  cancel->setObjectName(QStringLiteral("cancelButton"));
  buttons->addStretch();
  buttons->addWidget(update);
  buttons->addWidget(cancel);
  layout->addLayout(buttons);

  // The offer's answer is one key away: "Update" has the focus when the pop-up opens.
  setFocusProxy(update);
  connect(update, &QPushButton::clicked, this, [this] { emit updateClicked(this->device); });
  connect(cancel, &QPushButton::clicked, this, &UpdateDevicePage::cancelClicked);
}

QString UpdateDevicePage::offerText(KelvoDevice* device) {
  const std::shared_ptr<trevalon::Firmware> firmware = device->availableFirmware();
  if (!firmware) return QString();
  return tr("There is a newer firmware %1\navailable for device %2\n\nDescription: %3")
      .arg(QString::fromStdString(firmware->version.toString()), device->displayName(),
           QString::fromStdString(firmware->description));
}
