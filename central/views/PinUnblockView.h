// SPDX-License-Identifier: Apache-2.0
#pragma once
// The window that unblocks the PIN of the card in a reader with its PUK and sets a new PIN.

#include "views/PinView.h"

class PinUnblockView : public PinView {
  Q_OBJECT

 public:
  explicit PinUnblockView(QWidget* parent = nullptr);

 signals:
  void pinUnblockRequested(QString deviceName, QString puk, QString newPin);

 private slots:
  void on_unblockButton_clicked();

 protected:
  void sendRequest(const QString& firstSecret, const QString& newPin) override;
};
