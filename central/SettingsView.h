// SPDX-License-Identifier: Apache-2.0
#pragma once
// The settings window: the management-server address and whether the workstation locks when the card leaves.

#include <QWidget>
#include <memory>

namespace Ui {
class SettingsView;
}

class SettingsView : public QWidget {
  Q_OBJECT

 public:
  explicit SettingsView(QWidget* parent = nullptr);
  ~SettingsView() override;

 signals:
  void kemServerAddressChanged(QString url);

 protected:
  void showEvent(QShowEvent* event) override;

 private slots:
  void on_saveButton_clicked();
  void on_cancelButton_clicked();

 private:
  std::unique_ptr<Ui::SettingsView> ui;
};
