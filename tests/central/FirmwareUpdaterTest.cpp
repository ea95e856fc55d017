// SPDX-License-Identifier: Apache-2.0
// The updater against an HTTPS server of the test's own: its certificate authority is trusted only through the
// updateCaFile setting, the feeds and packages are signed with the tests' release key by the release tool, and the
// user's answer to the offer is given by the test.
#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QSignalSpy>
#include <QTcpServer>
#include <QTemporaryDir>

#include <functional>
#include <memory>

#include "ApplicationSettings.h"
#include "firmware/FirmwareUpdater.h"
#include "firmware/PackageSignature.h"

namespace {

// The server and its fixtures are made once for all cases.
class UpdateServer {
 public:
  bool start() {
    if (!folder.isValid()) return false;
    QProcess fixtures;
    fixtures.start(QStringLiteral("/usr/bin/python3"),
                   {QStringLiteral(KELVO_UPDATE_SERVER_SCRIPT), QStringLiteral("fixtures"), folder.path(),
                    QStringLiteral("--release-tool"), QStringLiteral(KELVO_RELEASE_TOOL), QStringLiteral("--key"),
                    QStringLiteral(KELVO_TEST_RELEASE_KEY)});
    if (!fixtures.waitForFinished(60000) || fixtures.exitCode() != 0) return false;
    server.start(QStringLiteral("/usr/bin/python3"),
                 {QStringLiteral(KELVO_UPDATE_SERVER_SCRIPT), QStringLiteral("serve"), folder.path()});
    if (!server.waitForReadyRead(20000)) return false;
    port = server.readLine().trimmed().toInt();
    return port > 0;
  }

  ~UpdateServer() {
    server.closeWriteChannel();
    if (!server.waitForFinished(5000)) server.kill();
    server.waitForFinished(5000);
  }

  QString base(const QString& feedCase) const {
    return QStringLiteral("https://127.0.0.1:%1/%2/").arg(port).arg(feedCase);
  }
  QString caFile() const { return folder.filePath(QStringLiteral("ca.pem")); }

 private:
  QTemporaryDir folder;
  QProcess server;
  int port = 0;
};

enum class Answer { Install, Skip, Cancel, CancelDownload };

struct RunResult {
  int outcome = -2;
  int offers = 0;
  QStringList errors;
  QStringList verbose;
  QStringList debug;
};

class FirmwareUpdaterTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    server = std::make_unique<UpdateServer>();
    serverStarted = server->start();
  }
  static void TearDownTestSuite() { server.reset(); }

  void SetUp() override {
    ASSERT_TRUE(serverStarted) << "the test's update server did not start";
    if (PackageSignature::builtInPublicKey() != testPublicKey()) {
      GTEST_SKIP() << "this build trusts another firmware key than the tests sign with";
    }
    ApplicationSettings::setUpdateCaFile(server->caFile());
    ApplicationSettings::setSkippedFirmwareVersion(QString());
    extraction = cache.filePath(QStringLiteral("Firmware"));
  }

  static QByteArray testPublicKey() {
    QFile key(QStringLiteral(KELVO_TEST_RELEASE_PUBLIC_KEY));
    return key.open(QIODevice::ReadOnly) ? key.readAll().trimmed() : QByteArray();
  }

  RunResult check(const QString& base, Answer answer, const QString& installed = QStringLiteral("1.0.0")) {
    ApplicationSettings::setUpdateServerUrl(base);
    FirmwareUpdater updater;
    updater.setExtractionDirectory(extraction);
    RunResult run;
    QObject::connect(&updater, &FirmwareUpdater::errorOccurred, [&run](const QString& e) { run.errors << e; });
    QObject::connect(&updater, &FirmwareUpdater::verboseMessageLogged, [&run](const QString& m) { run.verbose << m; });
    QObject::connect(&updater, &FirmwareUpdater::debugMessageLogged, [&run](const QString& m) { run.debug << m; });
    QObject::connect(&updater, &FirmwareUpdater::releaseOffered, [&](const QString& version) {
      ++run.offers;
      offeredVersion = version;
      if (answer == Answer::Skip) updater.skip();
      if (answer == Answer::Cancel) updater.cancel();
      if (answer == Answer::Install || answer == Answer::CancelDownload) updater.install();
    });
    QObject::connect(&updater, &FirmwareUpdater::downloadProgress, [&](qint64 received) {
      if (answer == Answer::CancelDownload && received > 0) updater.cancel();
    });
    QSignalSpy finished(&updater, &FirmwareUpdater::finished);
    EXPECT_TRUE(updater.checkForPackage(installed, QStringLiteral("firmware/kelvo-firmware.xml")));
    EXPECT_FALSE(updater.checkForPackage(installed, QStringLiteral("firmware/kelvo-firmware.xml")))
        << "a second run started while one was under way";
    if (!finished.wait(60000)) return run;
    run.outcome = finished.first().first().toInt();
    return run;
  }

  bool unpacked() const { return QFileInfo::exists(extraction); }

  static std::unique_ptr<UpdateServer> server;
  static bool serverStarted;
  QTemporaryDir cache;
  QString extraction;
  QString offeredVersion;
};

std::unique_ptr<UpdateServer> FirmwareUpdaterTest::server;
bool FirmwareUpdaterTest::serverStarted = false;

TEST_F(FirmwareUpdaterTest, NewestReleaseAboveTheInstalledOneIsDownloadedVerifiedAndUnpacked) {
  QDir().mkpath(extraction + QStringLiteral("/left-over"));
  const RunResult run = check(server->base(QStringLiteral("newer")), Answer::Install);
  EXPECT_EQ(run.outcome, 1) << run.errors.join(QLatin1Char('\n')).toStdString();
  EXPECT_EQ(run.offers, 1);
  EXPECT_EQ(offeredVersion, QStringLiteral("2.0"));
  EXPECT_TRUE(QFileInfo::exists(extraction + QStringLiteral("/k2-200/k2-200.xml")));
  EXPECT_TRUE(QFileInfo::exists(extraction + QStringLiteral("/k2-200/k2-200.bin")));
  EXPECT_FALSE(QFileInfo::exists(extraction + QStringLiteral("/left-over"))) << "an earlier run's files remain";
  EXPECT_EQ(run.verbose, QStringList({QStringLiteral("Checking for update from '%1firmware/kelvo-firmware.xml'...")
                                          .arg(server->base(QStringLiteral("newer"))),
                                      QStringLiteral("Update success!")}));
  EXPECT_EQ(QDir(cache.path()).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot),
            QStringList{QStringLiteral("Firmware")})
      << "a staging folder was left behind";
}

// Every refused package ends as an error and leaves nothing unpacked, not even part of itself.
TEST_F(FirmwareUpdaterTest, RefusedPackagesAndUnreachableFeedsEndInTheErrorOutcome) {
  QTcpServer closed;
  ASSERT_TRUE(closed.listen(QHostAddress::LocalHost));
  const QString downBase = QStringLiteral("https://127.0.0.1:%1/kelvo/").arg(closed.serverPort());
  closed.close();
  const struct {
    const char* name;
    QString base;
    const char* reason;
  } cases[] = {
      {"one byte of the package changed", server->base(QStringLiteral("tampered")), "signature does not verify"},
      {"an entry climbing out with ../", server->base(QStringLiteral("traversal")), "outside its folder"},
      {"a symbolic link entry", server->base(QStringLiteral("link")), "link or special file"},
      {"a package longer than the feed says", server->base(QStringLiteral("short")), "larger than 100 bytes"},
      {"a feed that redirects to itself", server->base(QStringLiteral("loop")), "redirect"},
      {"a feed that does not exist", server->base(QStringLiteral("missing")), "Not Found"},
      {"no server listening", downBase, "refused"},
  };
  for (const auto& test : cases) {
    SCOPED_TRACE(test.name);
    const RunResult run = check(test.base, Answer::Install);
    EXPECT_EQ(run.outcome, -1);
    EXPECT_EQ(
        run.errors,
        QStringList{QStringLiteral("Update failed while accessing '%1firmware/kelvo-firmware.xml'").arg(test.base)});
    EXPECT_TRUE(run.debug.join(QLatin1Char('\n')).contains(QLatin1String(test.reason), Qt::CaseInsensitive))
        << run.debug.join(QLatin1Char('\n')).toStdString();
    EXPECT_FALSE(unpacked());
    EXPECT_FALSE(QFileInfo::exists(cache.filePath(QStringLiteral("escaped.txt"))));
    EXPECT_EQ(QDir(cache.path()).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot), QStringList());
  }
}

TEST_F(FirmwareUpdaterTest, TheServerIsTrustedOnlyThroughTheConfiguredAuthority) {
  ApplicationSettings::setUpdateServerUrl(server->base(QStringLiteral("newer")));
  for (const QString& caFile : {QString(), cache.filePath(QStringLiteral("absent.pem"))}) {
    FirmwareUpdater updater;
    updater.setExtractionDirectory(extraction);
    ApplicationSettings::setUpdateCaFile(caFile);
    QSignalSpy offered(&updater, &FirmwareUpdater::releaseOffered);
    QSignalSpy finished(&updater, &FirmwareUpdater::finished);
    updater.checkForPackage(QStringLiteral("1.0.0"), QStringLiteral("firmware/kelvo-firmware.xml"));
    ASSERT_TRUE(finished.wait(30000));
    EXPECT_EQ(finished.first().first().toInt(), -1) << caFile.toStdString();
    EXPECT_TRUE(offered.isEmpty());
  }
}

TEST_F(FirmwareUpdaterTest, NoNewerReleaseCancelAndSkipEndWithoutAnUpdate) {
  const struct {
    const char* name;
    QString feedCase;
    Answer answer;
    int offers;
  } cases[] = {
      {"the feed's newest release is the installed one", QStringLiteral("current"), Answer::Install, 0},
      {"the user cancels the offer", QStringLiteral("newer"), Answer::Cancel, 1},
      {"the user cancels the download", QStringLiteral("slow"), Answer::CancelDownload, 1},
  };
  for (const auto& test : cases) {
    SCOPED_TRACE(test.name);
    const RunResult run = check(server->base(test.feedCase), test.answer);
    EXPECT_EQ(run.outcome, 0);
    EXPECT_EQ(run.offers, test.offers);
    EXPECT_TRUE(run.errors.isEmpty());
    EXPECT_EQ(run.verbose.value(1), QStringLiteral("No Update available."));
    EXPECT_FALSE(unpacked());
  }
}

TEST_F(FirmwareUpdaterTest, ASkippedReleaseIsNotOfferedAgainButANewerOneIs) {
  RunResult run = check(server->base(QStringLiteral("newer")), Answer::Skip);
  EXPECT_EQ(run.outcome, 0);
  EXPECT_EQ(run.offers, 1);
  run = check(server->base(QStringLiteral("newer")), Answer::Install);
  EXPECT_EQ(run.outcome, 0);
  EXPECT_EQ(run.offers, 0);
  EXPECT_FALSE(unpacked());
  // Skipping 2.0.0 says nothing about readers whose feed offers another release.
  ApplicationSettings::setSkippedFirmwareVersion(QStringLiteral("1.5.0"));
  run = check(server->base(QStringLiteral("newer")), Answer::Install);
  EXPECT_EQ(run.outcome, 1);
}

}  // namespace

namespace {

// The program may end while a package is still coming: the run ends quietly, and nothing hears of it afterwards.
TEST_F(FirmwareUpdaterTest, AnUpdaterDestroyedDuringADownloadEndsWithoutAnOutcome) {
  ApplicationSettings::setUpdateServerUrl(server->base(QStringLiteral("slow")));
  int outcomes = 0;
  {
    FirmwareUpdater updater;
    updater.setExtractionDirectory(extraction);
    QObject::connect(&updater, &FirmwareUpdater::finished, [&outcomes] { ++outcomes; });
    QObject::connect(&updater, &FirmwareUpdater::releaseOffered, &updater, &FirmwareUpdater::install);
    QSignalSpy progress(&updater, &FirmwareUpdater::downloadProgress);
    updater.checkForPackage(QStringLiteral("1.0.0"), QStringLiteral("firmware/kelvo-firmware.xml"));
    ASSERT_TRUE(progress.wait(30000));
  }
  QCoreApplication::processEvents();
  EXPECT_EQ(outcomes, 0);
  EXPECT_FALSE(unpacked());
}

}  // namespace
