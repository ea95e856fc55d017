// SPDX-License-Identifier: Apache-2.0
#pragma once
// The update server's offer of a firmware release: the release notes with Install, Skip and Cancel, then the
// download's progress with a Cancel button. The dialog never waits for anything: the user's answers leave as
// signals, and the run's progress and end arrive through the slots. Closing the window cancels.

#include <QDialog>
#include <QString>
#include <QUrl>

class QLabel;
class QProgressBar;
class QPushButton;
class QStackedWidget;
class QTextBrowser;

class UpdateDialog : public QDialog {
  Q_OBJECT

 public:
  explicit UpdateDialog(QWidget* parent = nullptr);

 public slots:
  void offer(const QString& version, const QString& installedVersion, const QString& readerName, const QString& title,
             const QString& releaseNotes, const QUrl& releaseNotesLink);
  void downloadProgress(qint64 received, qint64 total);
  void installing();
  void runFinished(int outcome);
  // Closing the window or pressing Escape: the offer or the download is cancelled.
  void reject() override;

 signals:
  void installChosen();
  void skipChosen();
  void cancelChosen();

 private:
  QWidget* createOfferPage();
  QWidget* createDownloadPage();

  QStackedWidget* pages = nullptr;
  QLabel* heading = nullptr;
  QTextBrowser* notes = nullptr;
  QLabel* notesLink = nullptr;
  QLabel* downloadText = nullptr;
  QProgressBar* progress = nullptr;
  QPushButton* downloadCancel = nullptr;
  QString offeredVersion;
  bool answered = false;
};
