// SPDX-License-Identifier: Apache-2.0
#include "firmware/FirmwareUpdater.h"

#include <QDir>
#include <QNetworkAccessManager>
#include <QNetworkProxyFactory>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QSslCertificate>
#include <QSslConfiguration>
#include <QTimer>

#include "ApplicationSettings.h"
#include "firmware/FirmwareFolders.h"
#include "firmware/PackageSignature.h"
#include "firmware/PackageUnpacker.h"

namespace {

const char kMaxBytesProperty[] = "kelvoMaxBytes";
const char kOverLimitProperty[] = "kelvoOverLimit";

}  // namespace

FirmwareUpdater::FirmwareUpdater(QObject* parent)
    : QObject(parent), extractionFolder(FirmwareFolders::downloadFolder()) {}

// A run still under way ends without an outcome: whoever would hear of it is going away too.
FirmwareUpdater::~FirmwareUpdater() {
  if (!reply) return;
  reply->disconnect(this);
  reply->abort();
}

QString FirmwareUpdater::configuredServerUrl() {
  return ApplicationSettings::updateServerUrl(QStringLiteral(KELVO_UPDATE_SERVER_URL));
}

QString FirmwareUpdater::extractionDirectory() { return FirmwareFolders::downloadFolder(); }

bool FirmwareUpdater::checkForPackage(const QString& installedVersion, const QString& relativeAppcastPath,
                                      const QString& readerName) {
  if (isRunning()) return false;
  feedUrl = configuredServerUrl() + relativeAppcastPath;
  installed = installedVersion;
  reader = readerName;
  cancelled = false;
  emit verboseMessageLogged(QStringLiteral("Checking for update from '%1'...").arg(feedUrl));
  // Only the package of this run may be found there afterwards.
  QDir(extractionFolder).removeRecursively();
  stage = Stage::FetchingFeed;
  const QUrl url(feedUrl, QUrl::StrictMode);
  if (!url.isValid() || url.isRelative()) {
    failLater(QStringLiteral("The update feed's address is not valid"));
    return true;
  }
  if (!loadCaFile()) return true;
  reply = fetch(url, kMaxFeedBytes);
  connect(reply, &QNetworkReply::finished, this, &FirmwareUpdater::feedFetched);
  return true;
}

void FirmwareUpdater::install() {
  if (stage != Stage::WaitingForUser) return;
  stage = Stage::Downloading;
  emit debugMessageLogged(QStringLiteral("Downloading firmware package %1").arg(offered.packageUrl.toString()));
  // The feed's length bounds the download; a feed without one gets the general limit.
  const qint64 limit = offered.packageLength > 0 ? qMin(offered.packageLength, kMaxPackageBytes) : kMaxPackageBytes;
  reply = fetch(offered.packageUrl, limit);
  connect(reply, &QNetworkReply::downloadProgress, this, &FirmwareUpdater::downloadProgress);
  connect(reply, &QNetworkReply::finished, this, &FirmwareUpdater::packageFetched);
}

void FirmwareUpdater::skip() {
  if (stage != Stage::WaitingForUser) return;
  ApplicationSettings::setSkippedFirmwareVersion(offered.version);
  emit debugMessageLogged(QStringLiteral("Firmware %1 skipped").arg(offered.displayVersion()));
  finish(0);
}

// A cancelled download ends when its reply reports the abort.
void FirmwareUpdater::cancel() {
  if (stage == Stage::WaitingForUser) {
    finish(0);
  } else if (stage == Stage::Downloading && reply) {
    cancelled = true;
    reply->abort();
  }
}

QNetworkAccessManager* FirmwareUpdater::network() {
  if (networkAccess == nullptr) {
    // Proxies come from the environment (http_proxy, https_proxy, no_proxy), as for other programs.
    QNetworkProxyFactory::setUseSystemConfiguration(true);
    networkAccess = new QNetworkAccessManager(this);
    networkAccess->setRedirectPolicy(QNetworkRequest::NoLessSafeRedirectPolicy);
  }
  return networkAccess;
}

// A company's own update server may be signed by its own authority: its certificate file is trusted in addition to
// the system's store. The packages themselves are trusted only through their signature.
bool FirmwareUpdater::loadCaFile() {
  const QString caFile = ApplicationSettings::updateCaFile();
  QSslConfiguration configuration = QSslConfiguration::defaultConfiguration();
  if (!caFile.isEmpty()) {
    const QList<QSslCertificate> authorities = QSslCertificate::fromPath(caFile, QSsl::Pem);
    if (authorities.isEmpty()) {
      failLater(QStringLiteral("No certificate could be read from the update CA file %1").arg(caFile));
      return false;
    }
    configuration.addCaCertificates(authorities);
  }
  tlsConfiguration = configuration;
  return true;
}

QNetworkReply* FirmwareUpdater::fetch(const QUrl& url, qint64 maxBytes) {
  QNetworkRequest request(url);
  request.setMaximumRedirectsAllowed(kMaxRedirects);
  request.setTransferTimeout(kTransferTimeoutMs);
  request.setSslConfiguration(tlsConfiguration);
  QNetworkReply* started = network()->get(request);
  started->setProperty(kMaxBytesProperty, maxBytes);
  connect(started, &QNetworkReply::downloadProgress, started, [started, maxBytes](qint64 received, qint64 total) {
    if (received > maxBytes || total > maxBytes) {
      started->setProperty(kOverLimitProperty, true);
      started->abort();
    }
  });
  return started;
}

bool FirmwareUpdater::replySucceeded(QNetworkReply* finishedReply, const QString& what) {
  if (finishedReply->property(kOverLimitProperty).toBool()) {
    failWith(QStringLiteral("The %1 is larger than %2 bytes")
                 .arg(what)
                 .arg(finishedReply->property(kMaxBytesProperty).toLongLong()));
    return false;
  }
  if (finishedReply->error() != QNetworkReply::NoError) {
    failWith(QStringLiteral("The %1 could not be fetched: %2").arg(what, finishedReply->errorString()));
    return false;
  }
  return true;
}

void FirmwareUpdater::feedFetched() {
  QNetworkReply* finishedReply = reply;
  finishedReply->deleteLater();
  if (!replySucceeded(finishedReply, QStringLiteral("update feed"))) return;
  Appcast appcast;
  QString error;
  if (!appcast.parse(finishedReply->readAll(), finishedReply->url(), &error)) {
    failWith(error);
    return;
  }
  const Appcast::Release* newest = appcast.newestAbove(installed);
  if (newest == nullptr) {
    emit debugMessageLogged(QStringLiteral("The update feed has no firmware above %1").arg(installed));
    finish(0);
    return;
  }
  if (newest->version == ApplicationSettings::skippedFirmwareVersion()) {
    emit debugMessageLogged(QStringLiteral("Firmware %1 was skipped before").arg(newest->displayVersion()));
    finish(0);
    return;
  }
  offered = *newest;
  stage = Stage::WaitingForUser;
  emit releaseOffered(offered.displayVersion(), installed, reader, offered.title, offered.releaseNotes,
                      offered.releaseNotesLink);
}

void FirmwareUpdater::packageFetched() {
  QNetworkReply* finishedReply = reply;
  finishedReply->deleteLater();
  if (cancelled) {
    emit debugMessageLogged(QStringLiteral("Firmware download cancelled"));
    finish(0);
    return;
  }
  if (!replySucceeded(finishedReply, QStringLiteral("firmware package"))) return;
  installPackage(finishedReply->readAll());
}

// A package is unpacked only after its signature verifies.
void FirmwareUpdater::installPackage(const QByteArray& package) {
  stage = Stage::Installing;
  emit installing();
  if (!PackageSignature::verify(package, offered.edSignature, PackageSignature::builtInPublicKey())) {
    failWith(QStringLiteral("The firmware package's signature does not verify"));
    return;
  }
  QString error;
  if (!PackageUnpacker::unpack(package, extractionFolder, &error)) {
    failWith(error);
    return;
  }
  emit debugMessageLogged(QStringLiteral("Firmware %1 unpacked to %2").arg(offered.displayVersion(), extractionFolder));
  finish(1);
}

void FirmwareUpdater::failWith(const QString& reason) {
  emit debugMessageLogged(reason);
  finish(-1);
}

// The outcome of a run that cannot start still arrives after checkForPackage() has returned, like every other.
void FirmwareUpdater::failLater(const QString& reason) {
  QTimer::singleShot(0, this, [this, reason] { failWith(reason); });
}

void FirmwareUpdater::finish(int outcome) {
  stage = Stage::Idle;
  reply = nullptr;
  if (outcome < 0) {
    emit errorOccurred(QStringLiteral("Update failed while accessing '%1'").arg(feedUrl));
  } else if (outcome == 0) {
    emit verboseMessageLogged(QStringLiteral("No Update available."));
  } else {
    emit verboseMessageLogged(QStringLiteral("Update success!"));
  }
  emit finished(outcome);
}
