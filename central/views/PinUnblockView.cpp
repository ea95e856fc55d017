// SPDX-License-Identifier: Apache-2.0
#include "views/PinUnblockView.h"

#include <QPushButton>

PinUnblockView::PinUnblockView(QWidget* parent)
    : PinView({tr("Unblock PIN"), tr("PUK:"), tr("Unblock"), tr("Please enter PUK"), tr("Unblocking..."),
               tr("PIN successfully unblocked"), tr("Incorrect PUK"), tr("Failed to unblock PIN")},
              QStringLiteral("unblockButton"), parent) {
  connect(findChild<QPushButton*>(QStringLiteral("unblockButton")), &QPushButton::clicked, this,
          &PinUnblockView::on_unblockButton_clicked);
}

void PinUnblockView::on_unblockButton_clicked() { submit(); }

void PinUnblockView::sendRequest(const QString& firstSecret, const QString& newPin) {
  emit pinUnblockRequested(deviceName(), firstSecret, newPin);
}
