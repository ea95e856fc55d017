// SPDX-License-Identifier: Apache-2.0
#include "DevicesPage.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QSpacerItem>
#include <QVBoxLayout>

#include "devices/KelvoDevice.h"

DevicesPage::DevicesPage(const QList<KelvoDevice*>& devices, KelvoDevice* currentDevice, QWidget* parent)
    : QWidget(parent) {
  createForm();
  fillList(devices, currentDevice);
  QMetaObject::connectSlotsByName(this);
}

void DevicesPage::createForm() {
  setObjectName(QStringLiteral("DevicesPage"));
  resize(433, 369);
  setStyleSheet(QStringLiteral("background-color: rgba(255, 255, 255, 0);"));

  auto* verticalLayout = new QVBoxLayout(this);
  verticalLayout->setObjectName(QStringLiteral("verticalLayout"));
  verticalLayout->setSpacing(10);
  verticalLayout->setContentsMargins(0, 0, 0, 0);

  auto* label = new QLabel(tr("Connected Devices"), this);
  label->setObjectName(QStringLiteral("label"));
  QFont labelFont = label->font();
  labelFont.setPointSize(12);
  label->setFont(labelFont);
  verticalLayout->addWidget(label);

  deviceList = new QListWidget(this);
  deviceList->setObjectName(QStringLiteral("deviceList"));
  deviceList->setMaximumHeight(120);
  deviceList->setBatchSize(100);
  deviceList->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Expanding);
  verticalLayout->addWidget(deviceList);

  auto* row = new QWidget(this);
  row->setObjectName(QStringLiteral("widget"));
  auto* horizontalLayout = new QHBoxLayout(row);
  horizontalLayout->setObjectName(QStringLiteral("horizontalLayout"));
  horizontalLayout->setSpacing(0);
  horizontalLayout->setContentsMargins(0, 0, 0, 0);
  auto* selectButton = new QPushButton(tr("Select"), row);
  selectButton->setObjectName(QStringLiteral("selectButton"));
  selectButton->setCursor(Qt::PointingHandCursor);
  selectButton->setStyleSheet(QStringLiteral("background-color: rgb(240, 240, 240);"));
  horizontalLayout->addWidget(selectButton);
  horizontalLayout->addItem(new QSpacerItem(40, 20, QSizePolicy::Expanding, QSizePolicy::Minimum));
  verticalLayout->addWidget(row);
}

void DevicesPage::fillList(const QList<KelvoDevice*>& devices, KelvoDevice* currentDevice) {
  for (KelvoDevice* device : devices) {
    auto* item = new QListWidgetItem(device->displayName(), deviceList);
    if (!device->isInitialized()) item->setForeground(QColor(255, 0, 0));
    if (device == currentDevice) deviceList->setCurrentItem(item);
  }
}

void DevicesPage::on_selectButton_clicked() {
  QListWidgetItem* item = deviceList->currentItem();
  emit deviceSelected(item == nullptr ? QString() : item->text());
}
