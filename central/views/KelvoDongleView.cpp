// SPDX-License-Identifier: Apache-2.0
#include "views/KelvoDongleView.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QRegExpValidator>
#include <QStackedWidget>
#include <QVBoxLayout>

#include "bridge/KelvoDongle.h"

namespace {

constexpr int kPairingCodeLength = 6;

QLabel* messageLabel(const char* colour) {
  auto* label = new QLabel;
  label->setStyleSheet(QStringLiteral("color: %1;").arg(QLatin1String(colour)));
  label->setWordWrap(true);
  label->hide();
  return label;
}

void showMessage(QLabel* label, const QString& text) {
  label->setText(text);
  label->show();
}

}  // namespace

KelvoDongleView::KelvoDongleView(KelvoDongle* bridge, QWidget* parent) : QWidget(parent), dongle(bridge) {
  buildPages();
  connectDongle();
  enter(dongle != nullptr && dongle->isOpen() ? kActivated : kDeactivated);
}

void KelvoDongleView::buildPages() {
  header = new QLabel(tr("Bridge"));
  header->setStyleSheet(QStringLiteral("font-size: 16pt; font-weight: bold;"));
  pages = new QStackedWidget;
  notFoundPage = new QLabel(tr("Bridge not found"));
  static_cast<QLabel*>(notFoundPage)->setAlignment(Qt::AlignCenter);
  mainPage = buildMainPage();
  pairingPage = buildPairingPage();
  advancedPage = buildAdvancedPage();
  pairedPage = buildPairedPage();
  for (QWidget* page : {notFoundPage, mainPage, pairingPage, advancedPage, pairedPage}) pages->addWidget(page);
  auto* layout = new QVBoxLayout(this);
  layout->addWidget(header);
  layout->addWidget(pages);
}

QWidget* KelvoDongleView::buildMainPage() {
  auto* page = new QWidget;
  scanButton = new QPushButton(tr("Scan"));
  connectButton = new QPushButton(tr("Connect"));
  advancedButton = new QPushButton(tr("Advanced settings"));
  readerList = new QListWidget;
  readerList->setObjectName(QStringLiteral("readers"));
  versionLabel = new QLabel;
  mainStatus = messageLabel("#1a7f37");
  mainError = messageLabel("#b42318");
  auto* buttons = new QHBoxLayout;
  buttons->addWidget(scanButton);
  buttons->addWidget(connectButton);
  buttons->addStretch();
  buttons->addWidget(advancedButton);
  auto* layout = new QVBoxLayout(page);
  layout->addWidget(versionLabel);
  layout->addWidget(readerList);
  layout->addWidget(mainStatus);
  layout->addWidget(mainError);
  layout->addLayout(buttons);
  connect(scanButton, &QPushButton::clicked, this, [this] { enter(kScanning); });
  connect(connectButton, &QPushButton::clicked, this, [this] {
    if (readerList->currentRow() >= 0) enter(kConnecting);
  });
  connect(readerList, &QListWidget::currentRowChanged, this,
          [this](int row) { connectButton->setEnabled(current == kMain && row >= 0); });
  connect(advancedButton, &QPushButton::clicked, this, [this] { enter(kAdvanced); });
  return page;
}

QWidget* KelvoDongleView::buildPairingPage() {
  auto* page = new QWidget;
  pairingReader = new QLabel;
  codeField = new QLineEdit;
  codeField->setObjectName(QStringLiteral("pairingCode"));
  codeField->setValidator(new QRegExpValidator(QRegExp(QStringLiteral("[0-9]{6,6}")), codeField));
  pairButton = new QPushButton(tr("Pair"));
  cancelButton = new QPushButton(tr("Cancel"));
  auto* buttons = new QHBoxLayout;
  buttons->addStretch();
  buttons->addWidget(cancelButton);
  buttons->addWidget(pairButton);
  auto* layout = new QVBoxLayout(page);
  layout->addWidget(pairingReader);
  layout->addWidget(new QLabel(tr("Enter pairing code:")));
  layout->addWidget(codeField);
  layout->addStretch();
  layout->addLayout(buttons);
  connect(codeField, &QLineEdit::textChanged, this,
          [this](const QString& code) { pairButton->setEnabled(code.size() == kPairingCodeLength); });
  connect(pairButton, &QPushButton::clicked, this, [this] { enter(kPairingSent); });
  connect(cancelButton, &QPushButton::clicked, this, [this] { enter(kPairingCancelled); });
  return page;
}

QWidget* KelvoDongleView::buildAdvancedPage() {
  auto* page = new QWidget;
  nameField = new QLineEdit;
  nameField->setObjectName(QStringLiteral("bridgeName"));
  renameButton = new QPushButton(tr("Change Bridge name"));
  resetButton = new QPushButton(tr("Reset Bridge"));
  pairedButton = new QPushButton(tr("Show paired devices"));
  advancedBack = new QPushButton(tr("Back"));
  advancedStatus = messageLabel("#1a7f37");
  advancedError = messageLabel("#b42318");
  auto* layout = new QVBoxLayout(page);
  layout->addWidget(nameField);
  layout->addWidget(renameButton);
  layout->addWidget(resetButton);
  layout->addWidget(pairedButton);
  layout->addWidget(advancedStatus);
  layout->addWidget(advancedError);
  layout->addStretch();
  layout->addWidget(advancedBack);
  connect(renameButton, &QPushButton::clicked, this, &KelvoDongleView::rename);
  connect(resetButton, &QPushButton::clicked, this, &KelvoDongleView::reset);
  connect(pairedButton, &QPushButton::clicked, this, [this] { enter(kQuerying); });
  connect(advancedBack, &QPushButton::clicked, this, [this] { enter(kMain); });
  return page;
}

QWidget* KelvoDongleView::buildPairedPage() {
  auto* page = new QWidget;
  pairedHeader = new QLabel;
  pairedList = new QListWidget;
  pairedList->setObjectName(QStringLiteral("pairedReaders"));
  auto* back = new QPushButton(tr("Back"));
  auto* layout = new QVBoxLayout(page);
  layout->addWidget(pairedHeader);
  layout->addWidget(new QLabel(tr("Paired devices:")));
  layout->addWidget(pairedList);
  layout->addWidget(back);
  connect(back, &QPushButton::clicked, this, [this] { enter(kAdvanced); });
  return page;
}

void KelvoDongleView::connectDongle() {
  if (dongle == nullptr) return;
  connect(dongle, &KelvoDongle::activated, this, [this] { enter(kActivated); });
  connect(dongle, &KelvoDongle::deactivated, this, [this] { enter(kDeactivated); });
  connect(dongle, &KelvoDongle::scanFinished, this, &KelvoDongleView::onScanFinished);
  connect(dongle, &KelvoDongle::connectionSucceeded, this, [this] { onConnected(tr("Successfully connected")); });
  connect(dongle, &KelvoDongle::pairingSucceeded, this, [this] { onConnected(tr("Successfully paired")); });
  connect(dongle, &KelvoDongle::connectionFailed, this, [this] { onFailed(tr("Connection failed")); });
  connect(dongle, &KelvoDongle::pairingFailed, this, [this] { onFailed(tr("Pairing failed")); });
  connect(dongle, &KelvoDongle::pairingAborted, this, [this] {
    enter(kMain);
    showMessage(mainStatus, tr("Pairing cancelled"));
  });
  // The controller says it again at every poll while the reader waits: only the first time opens the pairing page,
  // so a code being typed or sent is kept.
  connect(dongle, &KelvoDongle::connectionPairingRequired, this, [this] {
    if (current == kConnecting || current == kMain) enter(kPairing);
  });
  connect(dongle, &KelvoDongle::changeNameSucceeded, this, &KelvoDongleView::onChangeNameSucceeded);
  connect(dongle, &KelvoDongle::changeNameFailed, this, &KelvoDongleView::onChangeNameFailed);
  connect(dongle, &KelvoDongle::queryPairedDevicesFinished, this, &KelvoDongleView::onPairedDevices);
}

void KelvoDongleView::showEvent(QShowEvent* event) {
  QWidget::showEvent(event);
  if (current == kMain) enter(kScanning);
}

// Entering a state hides the messages of the one before.
void KelvoDongleView::enter(State state) {
  current = state;
  for (QLabel* label : {mainStatus, mainError, advancedStatus, advancedError}) label->hide();
  switch (state) {
    case kNotFound:
      header->setText(tr("Bridge"));
      pages->setCurrentWidget(notFoundPage);
      break;
    case kActivated:
      bridgeName = dongle != nullptr ? dongle->name() : QString();
      header->setText(bridgeName);
      versionLabel->setText(tr("Firmware version: ") + (dongle != nullptr ? dongle->version() : QString()));
      results.clear();
      readerList->clear();
      enter(kMain);
      break;
    case kDeactivated:
      enter(kNotFound);
      break;
    case kMain:
      showMain();
      break;
    case kScanning:
      pages->setCurrentWidget(mainPage);
      showMessage(mainStatus, tr("Scanning..."));
      readerList->clear();
      results.clear();
      setMainEnabled(false);
      if (dongle != nullptr) dongle->requestScan();
      break;
    case kConnecting:
      selected = results.value(readerList->currentRow());
      showMessage(mainStatus, tr("Connecting..."));
      setMainEnabled(false);
      if (dongle != nullptr) dongle->requestConnection(selected);
      break;
    case kPairing:
      pages->setCurrentWidget(pairingPage);
      pairingPage->setEnabled(true);
      pairingReader->setText(selected.name.isEmpty() ? QStringLiteral("Kelvo ") + selected.addressText()
                                                     : selected.name);
      codeField->clear();
      codeField->setFocus();
      pairButton->setEnabled(false);
      cancelButton->setEnabled(true);
      break;
    case kPairingSent:
      pairingPage->setEnabled(false);
      if (dongle != nullptr) dongle->requestPairing(codeField->text().toUInt());
      break;
    case kPairingCancelled:
      pairingPage->setEnabled(false);
      if (dongle != nullptr) dongle->requestPairingAbort();
      break;
    case kAdvanced:
      showAdvanced();
      break;
    case kRenaming:
      showMessage(advancedStatus, tr("Changing..."));
      setAdvancedEnabled(false);
      if (dongle != nullptr) dongle->requestNameChange(nameField->text());
      break;
    case kResetting:
      showMessage(advancedStatus, tr("Resetting..."));
      setAdvancedEnabled(false);
      if (dongle != nullptr) dongle->requestReset();
      break;
    case kQuerying:
      showMessage(advancedStatus, tr("Querying..."));
      setAdvancedEnabled(false);
      if (dongle != nullptr) dongle->requestPairedDevices();
      break;
    case kPairedList:
      pages->setCurrentWidget(pairedPage);
      break;
  }
}

void KelvoDongleView::showMain() {
  pages->setCurrentWidget(mainPage);
  setMainEnabled(true);
  readerList->setCurrentRow(-1);
  readerList->clearSelection();
  connectButton->setEnabled(false);
}

void KelvoDongleView::showAdvanced() {
  pages->setCurrentWidget(advancedPage);
  nameField->setText(bridgeName);
  setAdvancedEnabled(true);
  resetArmed = false;
}

void KelvoDongleView::setMainEnabled(bool enabled) {
  scanButton->setEnabled(enabled);
  readerList->setEnabled(enabled);
  advancedButton->setEnabled(enabled);
  connectButton->setEnabled(enabled && readerList->currentRow() >= 0);
}

void KelvoDongleView::setAdvancedEnabled(bool enabled) {
  for (QWidget* widget :
       {static_cast<QWidget*>(nameField), static_cast<QWidget*>(renameButton), static_cast<QWidget*>(resetButton),
        static_cast<QWidget*>(pairedButton), static_cast<QWidget*>(advancedBack)}) {
    widget->setEnabled(enabled);
  }
}

void KelvoDongleView::rename() {
  const QString name = nameField->text();
  if (name.isEmpty()) {
    showMessage(advancedError, tr("Dongle name cannot be empty"));
  } else if (name == bridgeName) {
    showMessage(advancedStatus, tr("This name already set"));
  } else {
    enter(kRenaming);
  }
}

// The first press asks for a second; only the second resets.
void KelvoDongleView::reset() {
  if (!resetArmed) {
    resetArmed = true;
    showMessage(advancedStatus, tr("Confirm reset by pressing button again"));
    return;
  }
  enter(kResetting);
}

void KelvoDongleView::onScanFinished(const QList<DeviceInfo>& devices) {
  results = devices;
  readerList->clear();
  for (const DeviceInfo& device : devices) readerList->addItem(device.name);
  enter(kMain);
}

void KelvoDongleView::removeSelected() {
  for (int i = 0; i < results.size(); ++i) {
    if (results[i].addressLow == selected.addressLow && results[i].addressHigh == selected.addressHigh) {
      results.removeAt(i);
      delete readerList->takeItem(i);
      return;
    }
  }
}

void KelvoDongleView::onConnected(const QString& status) {
  removeSelected();
  enter(kMain);
  showMessage(mainStatus, status);
}

void KelvoDongleView::onFailed(const QString& error) {
  enter(kMain);
  showMessage(mainError, error);
}

void KelvoDongleView::onChangeNameSucceeded(const QString& name) {
  bridgeName = name;
  header->setText(name);
  pairedHeader->setText(name);
  enter(kAdvanced);
  showMessage(advancedStatus, tr("Successfully changed name"));
}

void KelvoDongleView::onChangeNameFailed() {
  enter(kAdvanced);
  showMessage(advancedError, tr("Name change failed"));
}

void KelvoDongleView::onPairedDevices(const QList<DeviceInfo>& devices) {
  pairedList->clear();
  for (const DeviceInfo& device : devices) pairedList->addItem(device.name);
  pairedHeader->setText(bridgeName);
  enter(kPairedList);
}
