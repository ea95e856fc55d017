// SPDX-License-Identifier: Apache-2.0
#pragma once
// The window that changes the PIN of the card in a reader: the current PIN, the new PIN twice.

#include "views/PinView.h"

class PinChangeView : public PinView {
  Q_OBJECT

 public:
  explicit PinChangeView(QWidget* parent = nullptr);

 signals:
  void pinChangeRequested(QString deviceName, QString currPin, QString newPin);

 public slots:
  void pinSetBlocked();
  void pinSetInvalid();

 private slots:
  void on_changeButton_clicked();

 protected:
  void sendRequest(const QString& firstSecret, const QString& newPin) override;
};
