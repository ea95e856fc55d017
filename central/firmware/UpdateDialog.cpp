// SPDX-License-Identifier: Apache-2.0
#include "firmware/UpdateDialog.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QStackedWidget>
#include <QTextBrowser>
#include <QVBoxLayout>

UpdateDialog::UpdateDialog(QWidget* parent) : QDialog(parent) {
  setObjectName(QStringLiteral("updateDialog"));
  setWindowTitle(tr("Firmware update"));
  pages = new QStackedWidget(this);
  pages->addWidget(createOfferPage());
  pages->addWidget(createDownloadPage());
  auto* layout = new QVBoxLayout(this);
  layout->addWidget(pages);
  resize(520, 380);
}

QWidget* UpdateDialog::createOfferPage() {
  auto* page = new QWidget(this);
  heading = new QLabel(page);
  heading->setWordWrap(true);
  heading->setObjectName(QStringLiteral("updateHeading"));
  notes = new QTextBrowser(page);
  notes->setObjectName(QStringLiteral("releaseNotes"));
  // Release notes come from the network: links open in the user's browser, nothing is fetched into the dialog.
  notes->setOpenLinks(false);
  notes->setOpenExternalLinks(false);
  notesLink = new QLabel(page);
  notesLink->setOpenExternalLinks(true);
  notesLink->setTextFormat(Qt::RichText);
  auto* install = new QPushButton(tr("Install"), page);
  install->setObjectName(QStringLiteral("installButton"));
  install->setDefault(true);
  auto* skipButton = new QPushButton(tr("Skip"), page);
  skipButton->setObjectName(QStringLiteral("skipButton"));
  auto* cancelButton = new QPushButton(tr("Cancel"), page);
  cancelButton->setObjectName(QStringLiteral("cancelButton"));
  connect(install, &QPushButton::clicked, this, [this] {
    pages->setCurrentIndex(1);
    emit installChosen();
  });
  connect(skipButton, &QPushButton::clicked, this, [this] {
    answered = true;
    emit skipChosen();
    hide();
  });
  connect(cancelButton, &QPushButton::clicked, this, &UpdateDialog::reject);
  auto* buttons = new QHBoxLayout();
  buttons->addStretch();
  buttons->addWidget(install);
  buttons->addWidget(skipButton);
  buttons->addWidget(cancelButton);
  auto* layout = new QVBoxLayout(page);
  layout->addWidget(heading);
  layout->addWidget(new QLabel(tr("Release notes:"), page));
  layout->addWidget(notes);
  layout->addWidget(notesLink);
  layout->addLayout(buttons);
  return page;
}

QWidget* UpdateDialog::createDownloadPage() {
  auto* page = new QWidget(this);
  downloadText = new QLabel(page);
  downloadText->setWordWrap(true);
  progress = new QProgressBar(page);
  progress->setObjectName(QStringLiteral("downloadProgress"));
  downloadCancel = new QPushButton(tr("Cancel"), page);
  downloadCancel->setObjectName(QStringLiteral("downloadCancelButton"));
  connect(downloadCancel, &QPushButton::clicked, this, &UpdateDialog::reject);
  auto* buttons = new QHBoxLayout();
  buttons->addStretch();
  buttons->addWidget(downloadCancel);
  auto* layout = new QVBoxLayout(page);
  layout->addStretch();
  layout->addWidget(downloadText);
  layout->addWidget(progress);
  layout->addStretch();
  layout->addLayout(buttons);
  return page;
}

void UpdateDialog::offer(const QString& version, const QString& installedVersion, const QString& readerName,
                         const QString& title, const QString& releaseNotes, const QUrl& releaseNotesLink) {
  offeredVersion = version;
  answered = false;
  pages->setCurrentIndex(0);
  const QString availability =
      readerName.isEmpty()
          ? tr("Firmware %1 is available for your reader. The installed firmware is %2.").arg(version, installedVersion)
          : tr("Firmware %1 is available for %3. The installed firmware is %2.")
                .arg(version, installedVersion, readerName);
  heading->setText(availability + (title.isEmpty() ? QString() : QStringLiteral("\n") + title));
  if (Qt::mightBeRichText(releaseNotes)) {
    notes->setHtml(releaseNotes);
  } else {
    notes->setPlainText(releaseNotes.isEmpty() ? tr("No release notes were given.") : releaseNotes);
  }
  notesLink->setVisible(releaseNotesLink.isValid() && !releaseNotesLink.isEmpty());
  notesLink->setText(
      QStringLiteral("<a href=\"%1\">%2</a>")
          .arg(releaseNotesLink.toString(QUrl::FullyEncoded).toHtmlEscaped(), tr("Read the release notes")));
  downloadText->setText(tr("Downloading firmware %1...").arg(version));
  progress->setRange(0, 0);
  downloadCancel->setEnabled(true);
  show();
  raise();
  activateWindow();
}

void UpdateDialog::downloadProgress(qint64 received, qint64 total) {
  if (total <= 0) {
    progress->setRange(0, 0);
    return;
  }
  // The bar counts in KiB so that packages beyond 2 GiB would still fit its int range.
  progress->setRange(0, static_cast<int>(total / 1024));
  progress->setValue(static_cast<int>(received / 1024));
}

void UpdateDialog::installing() {
  downloadText->setText(tr("Checking and unpacking firmware %1...").arg(offeredVersion));
  progress->setRange(0, 0);
  downloadCancel->setEnabled(false);
}

void UpdateDialog::runFinished(int outcome) {
  Q_UNUSED(outcome);
  answered = true;
  hide();
}

void UpdateDialog::reject() {
  if (!answered) {
    answered = true;
    emit cancelChosen();
  }
  QDialog::reject();
}
