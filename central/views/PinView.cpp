// SPDX-License-Identifier: Apache-2.0
#include "views/PinView.h"

#include <QFormLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>
#include <utility>

namespace {

const char kErrorStyle[] = "color: #c00000;";

QLineEdit* secretEdit(const char* name, QWidget* parent) {
  auto* edit = new QLineEdit(parent);
  edit->setObjectName(QLatin1String(name));
  edit->setEchoMode(QLineEdit::Password);
  // Secrets stay out of the clipboard and out of input-method history.
  edit->setContextMenuPolicy(Qt::NoContextMenu);
  edit->setAttribute(Qt::WA_InputMethodEnabled, false);
  return edit;
}

}  // namespace

PinView::PinView(Texts texts, const QString& buttonName, QWidget* parent)
    : QWidget(parent, Qt::Dialog), texts(std::move(texts)) {
  setWindowTitle(this->texts.title);
  buildForm(buttonName);
}

PinView::~PinView() = default;

void PinView::buildForm(const QString& buttonName) {
  auto* layout = new QVBoxLayout(this);
  deviceLabel = new QLabel(this);
  deviceLabel->setObjectName(QStringLiteral("deviceLabel"));
  layout->addWidget(deviceLabel);

  auto* form = new QFormLayout();
  firstEdit = secretEdit("firstEdit", this);
  newEdit = secretEdit("newPinEdit", this);
  confirmEdit = secretEdit("confirmPinEdit", this);
  form->addRow(texts.firstCaption, firstEdit);
  form->addRow(tr("New PIN:"), newEdit);
  form->addRow(tr("Confirm PIN:"), confirmEdit);
  layout->addLayout(form);

  statusLabel = new QLabel(this);
  statusLabel->setObjectName(QStringLiteral("statusLabel"));
  statusLabel->hide();
  errorLabel = new QLabel(this);
  errorLabel->setObjectName(QStringLiteral("errorLabel"));
  errorLabel->setStyleSheet(QLatin1String(kErrorStyle));
  errorLabel->hide();
  layout->addWidget(statusLabel);
  layout->addWidget(errorLabel);

  button = new QPushButton(texts.button, this);
  button->setObjectName(buttonName);
  button->setDefault(true);
  layout->addWidget(button, 0, Qt::AlignRight);
}

void PinView::setDeviceName(const QString& name) {
  if (name == device) return;
  device = name;
  deviceLabel->setText(name);
  clearSecrets();
  statusLabel->hide();
  errorLabel->hide();
}

void PinView::submit() {
  statusLabel->hide();
  errorLabel->hide();
  const QString first = firstEdit->text();
  if (first.isEmpty()) {
    showError(texts.enterFirst);
    return;
  }
  if (!rejectedFirstSecret.isEmpty() && first == rejectedFirstSecret) {
    showError(texts.rejected);
    return;
  }
  if (newEdit->text().isEmpty()) {
    showError(tr("Please enter new PIN"));
    return;
  }
  if (newEdit->text() != confirmEdit->text()) {
    showError(tr("New PINs do not match"));
    return;
  }
  showStatus(texts.working);
  button->setEnabled(false);
  busy = true;
  sentFirstSecret = first;
  sendRequest(first, newEdit->text());
}

void PinView::pinSetSuccess() {
  if (!busy) return;
  finish();
  clearSecrets();
  showStatus(texts.succeeded);
}

void PinView::pinSetIncorrect() {
  if (!busy) return;
  rejectFirstSecret();
  finishWithError(texts.rejected);
}

void PinView::pinSetFailed() { finishWithError(texts.failed); }

bool PinView::finishWithError(const QString& error) {
  if (!busy) return false;
  finish();
  showError(error);
  return true;
}

void PinView::rejectFirstSecret() { rejectedFirstSecret = sentFirstSecret; }

void PinView::finish() {
  busy = false;
  sentFirstSecret.clear();
  button->setEnabled(true);
}

void PinView::clearSecrets() {
  firstEdit->clear();
  newEdit->clear();
  confirmEdit->clear();
}

void PinView::showStatus(const QString& text) {
  errorLabel->hide();
  statusLabel->setText(text);
  statusLabel->show();
}

void PinView::showError(const QString& text) {
  statusLabel->hide();
  errorLabel->setText(text);
  errorLabel->show();
}
