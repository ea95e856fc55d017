// SPDX-License-Identifier: Apache-2.0
#include "views/PinChangeView.h"

#include <QPushButton>

PinChangeView::PinChangeView(QWidget* parent)
    : PinView({tr("Change PIN"), tr("Current PIN:"), tr("Change"), tr("Please enter current PIN"), tr("Changing..."),
               tr("PIN successfully changed"), tr("Incorrect PIN"), tr("Failed to change PIN")},
              QStringLiteral("changeButton"), parent) {
  connect(findChild<QPushButton*>(QStringLiteral("changeButton")), &QPushButton::clicked, this,
          &PinChangeView::on_changeButton_clicked);
}

void PinChangeView::on_changeButton_clicked() { submit(); }

void PinChangeView::sendRequest(const QString& firstSecret, const QString& newPin) {
  emit pinChangeRequested(deviceName(), firstSecret, newPin);
}

void PinChangeView::pinSetBlocked() { finishWithError(tr("PIN blocked")); }

void PinChangeView::pinSetInvalid() { finishWithError(tr("Invalid new PIN")); }
