// SPDX-License-Identifier: Apache-2.0
#pragma once
// Fetches firmware packages for second-generation readers from the update server: reads the server's feed, offers
// the newest release above the reader's installed firmware to the user, downloads it, checks its signature with the
// key built into the program and unpacks it into the extraction folder, where the catalogue finds it.
//
// One run at a time. Nothing here waits: the run moves on as answers arrive (the feed, the user's choice, the
// package), so the thread it lives on goes on with its other work, and the outcome arrives as finished():
// -1 error, 0 no newer release / skipped / cancelled, 1 a package was unpacked.

#include <QByteArray>
#include <QObject>
#include <QPointer>
#include <QSslConfiguration>
#include <QString>
#include <QUrl>

#include <memory>

#include "firmware/Appcast.h"

class QNetworkAccessManager;
class QNetworkReply;

class FirmwareUpdater : public QObject {
  Q_OBJECT

 public:
  static constexpr qint64 kMaxFeedBytes = 1024LL * 1024;
  static constexpr qint64 kMaxPackageBytes = 64LL * 1024 * 1024;
  static constexpr int kMaxRedirects = 5;
  static constexpr int kTransferTimeoutMs = 30000;

  explicit FirmwareUpdater(QObject* parent = nullptr);
  ~FirmwareUpdater() override;

  // The server's base address as configured (the configure-time default when the setting is absent).
  static QString configuredServerUrl();
  static QString extractionDirectory();

  // Starts a run for a reader whose firmware is installedVersion; the feed is the server's base address followed
  // by relativeAppcastPath. readerName tells the user which reader an offer is for. False when a run is already
  // under way (nothing is started then).
  bool checkForPackage(const QString& installedVersion, const QString& relativeAppcastPath,
                       const QString& readerName = QString());
  bool isRunning() const { return stage != Stage::Idle; }

  // Where packages are unpacked; the per-user download folder unless a test chooses another.
  void setExtractionDirectory(const QString& folder) { extractionFolder = folder; }

 public slots:
  // The user's answer to releaseOffered(), and the cancel button of the download.
  void install();
  void skip();
  void cancel();

 signals:
  void releaseOffered(const QString& version, const QString& installedVersion, const QString& readerName,
                      const QString& title, const QString& releaseNotes, const QUrl& releaseNotesLink);
  void downloadProgress(qint64 received, qint64 total);
  void installing();
  void finished(int outcome);

  void errorOccurred(const QString& error);
  void verboseMessageLogged(const QString& message);
  void debugMessageLogged(const QString& message);

 private:
  enum class Stage { Idle, FetchingFeed, WaitingForUser, Downloading, Installing };

  QNetworkReply* fetch(const QUrl& url, qint64 maxBytes);
  void feedFetched();
  void packageFetched();
  bool replySucceeded(QNetworkReply* reply, const QString& what);
  void installPackage(const QByteArray& package);
  void finish(int outcome);
  void failWith(const QString& reason);
  void failLater(const QString& reason);

  QNetworkAccessManager* network();
  bool loadCaFile();

  Stage stage = Stage::Idle;
  bool cancelled = false;
  QString feedUrl;
  QString installed;
  QString reader;
  QString extractionFolder;
  Appcast::Release offered;
  QPointer<QNetworkReply> reply;
  QNetworkAccessManager* networkAccess = nullptr;
  QSslConfiguration tlsConfiguration;
};
