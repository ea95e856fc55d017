// SPDX-License-Identifier: Apache-2.0
#include "views/UpdateFirmwareView.h"

#include <QKeyEvent>
#include <QLabel>
#include <QPushButton>
#include <QStackedWidget>
#include <QVBoxLayout>

#include "devices/KelvoDevice.h"
#include "devices/KelvoDeviceManager.h"
#include "trevalon/firmware/Firmware.h"

UpdateFirmwareView::UpdateFirmwareView(KelvoDeviceManager* manager, KelvoDevice* device, bool overTheAir,
                                       QWidget* parent)
    : QDialog(parent) {
  setObjectName(QStringLiteral("updateFirmwareView"));
  setModal(true);
  setWindowTitle(tr("Updating Kelvo"));
  setWindowFlags(Qt::Dialog | Qt::WindowTitleHint | Qt::WindowMinimizeButtonHint | Qt::MSWindowsFixedSizeDialogHint);
  auto* layout = new QVBoxLayout(this);
  auto* name = new QLabel(device->displayName(), this);
  name->setObjectName(QStringLiteral("deviceName"));
  QFont bold = name->font();
  bold.setBold(true);
  name->setFont(bold);
  layout->addWidget(name);
  const std::shared_ptr<trevalon::Firmware> firmware = device->availableFirmware();
  if (firmware) {
    auto* offer = new QLabel(
        tr("New firmware: %1\n\nDescription: %2")
            .arg(QString::fromStdString(firmware->version.toString()), QString::fromStdString(firmware->description)),
        this);
    offer->setObjectName(QStringLiteral("firmwareText"));
    offer->setWordWrap(true);
    layout->addWidget(offer);
  }

  pages = new QStackedWidget(this);
  pages->addWidget(createPage({tr("Please connect your Kelvo via USB"),
                               tr("Your Kelvo will be updated\n\nIn case you are logged in with Kelvo your "
                                  "workstation will be locked"),
                               tr("After update you can login again")}));
  connectHint = pages->widget(kConnectPage)->findChildren<QLabel*>().first();
  if (overTheAir) connectHint->clear();
  pages->addWidget(
      createPage({tr("Kelvo connected"), QString(), tr("After update you can login again")}, &progressText));
  pages->addWidget(createPage({tr("Kelvo connected"), tr("Done!\n\nYou can safely remove your Kelvo from USB")}));
  pages->addWidget(createPage({QString()}, &errorText));
  layout->addWidget(pages);

  okButton = new QPushButton(tr("OK"), this);
  okButton->setObjectName(QStringLiteral("okButton"));
  connect(okButton, &QPushButton::clicked, this, &QDialog::accept);
  layout->addWidget(okButton, 0, Qt::AlignRight);
  showPage(kConnectPage, false);
  setFixedWidth(420);

  connect(manager, &KelvoDeviceManager::flashConnectStateTransited, this,
          &UpdateFirmwareView::flashConnectStateTransited);
  connect(manager, &KelvoDeviceManager::flashUpdateStateTransited, this,
          &UpdateFirmwareView::flashUpdateStateTransited);
  connect(manager, &KelvoDeviceManager::flashFinishStateTransited, this,
          &UpdateFirmwareView::flashFinishStateTransited);
  connect(manager, &KelvoDeviceManager::flashErrorStateTransited, this, &UpdateFirmwareView::flashErrorStateTransited);
}

// Each page is a column of texts; the one left empty is the page's changing text, when it has one.
QWidget* UpdateFirmwareView::createPage(const QStringList& texts, QLabel** dynamicText) {
  auto* page = new QWidget(this);
  auto* layout = new QVBoxLayout(page);
  for (const QString& text : texts) {
    auto* label = new QLabel(text, page);
    label->setWordWrap(true);
    label->setAlignment(Qt::AlignCenter);
    if (text.isEmpty() && dynamicText != nullptr) *dynamicText = label;
    layout->addWidget(label);
  }
  return page;
}

void UpdateFirmwareView::showPage(Page page, bool okVisible) {
  pages->setCurrentIndex(page);
  okButton->setVisible(okVisible);
}

int UpdateFirmwareView::currentPage() const { return pages->currentIndex(); }

void UpdateFirmwareView::flashConnectStateTransited() { showPage(kConnectPage, false); }

void UpdateFirmwareView::flashUpdateStateTransited(int percent) {
  progressText->setText(tr("Update in progress... %1%\n\nYour workstation may be locked").arg(percent));
  showPage(kUpdatePage, false);
}

void UpdateFirmwareView::flashFinishStateTransited() { showPage(kFinishPage, true); }

void UpdateFirmwareView::flashErrorStateTransited(const QString& message) {
  errorText->setText(message);
  showPage(kErrorPage, true);
}

// Escape would leave the user without word of a run that is still writing into the reader.
void UpdateFirmwareView::keyPressEvent(QKeyEvent* event) {
  if (event->key() == Qt::Key_Escape) {
    event->ignore();
    return;
  }
  QDialog::keyPressEvent(event);
}
