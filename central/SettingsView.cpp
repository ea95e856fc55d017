// SPDX-License-Identifier: Apache-2.0
#include "SettingsView.h"

#include "ApplicationSettings.h"
#include "ui_SettingsView.h"

SettingsView::SettingsView(QWidget* parent) : QWidget(parent), ui(std::make_unique<Ui::SettingsView>()) {
  ui->setupUi(this);
}

SettingsView::~SettingsView() = default;

void SettingsView::showEvent(QShowEvent* event) {
  ui->lockingCheckBox->setChecked(ApplicationSettings::lockingWorkstation());
  ui->serverUrlEdit->setText(ApplicationSettings::serverUrl());
  QWidget::showEvent(event);
}

void SettingsView::on_saveButton_clicked() {
  ApplicationSettings::setLockingWorkstation(ui->lockingCheckBox->isChecked());
  const QString url = ui->serverUrlEdit->text();
  ApplicationSettings::setServerUrl(url);
  emit kemServerAddressChanged(url);
  close();
}

void SettingsView::on_cancelButton_clicked() { close(); }
