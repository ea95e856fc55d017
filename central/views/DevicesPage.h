// SPDX-License-Identifier: Apache-2.0
#pragma once
// The list of readers that the "Change Kelvo" button opens: one row per device by display name, the current one
// selected; "Select" names the chosen reader to the window.

#include <QList>
#include <QWidget>

class KelvoDevice;
class QListWidget;

class DevicesPage : public QWidget {
  Q_OBJECT

 public:
  explicit DevicesPage(const QList<KelvoDevice*>& devices, KelvoDevice* currentDevice, QWidget* parent = nullptr);

 signals:
  void deviceSelected(QString deviceName);

 private slots:
  void on_selectButton_clicked();

 private:
  void createForm();
  void fillList(const QList<KelvoDevice*>& devices, KelvoDevice* currentDevice);

  QListWidget* deviceList = nullptr;
};
