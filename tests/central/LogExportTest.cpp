// SPDX-License-Identifier: Apache-2.0
#include "LogExport.h"

#include <grp.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <functional>

#include "ArchiveEntries.h"

namespace {

using kelvo::test::readArchive;

constexpr uid_t kNobody = 65534;

void writeFile(const QString& path, const QByteArray& content) {
  QFile file(path);
  ASSERT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
  file.write(content);
}

// A data directory, a folder for the application's log and a target folder that a dropped-privilege child can use.
class LogExportTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(root.isValid());
    for (const char* folder : {"data", "state", "target"}) ASSERT_TRUE(QDir(root.path()).mkpath(folder));
    ::chmod(QFile::encodeName(root.path()).constData(), 0755);
    ::chmod(QFile::encodeName(root.filePath("data")).constData(), 0755);
    ::chmod(QFile::encodeName(root.filePath("state")).constData(), 0755);
    ::chmod(QFile::encodeName(root.filePath("target")).constData(), 0777);
  }

  QString data(const QString& name) const { return root.filePath("data/" + name); }
  QString archivePath() const { return root.filePath("target/KelvoLogs.zip"); }
  LogExport makeExport() const {
    return LogExport("window text", root.filePath("state/central.log"), root.filePath("data"));
  }
  QString notIncluded() const { return QString::fromUtf8(readArchive(archivePath())["not-included.txt"].content); }

  QTemporaryDir root;
};

// Runs the export as a user outside the driver log's group: root reads every file, so as root the export runs in a
// child that has dropped to nobody (no supplementary groups); any other user runs it here.
bool exportAsOrdinaryUser(LogExport& logs, const QString& archivePath) {
  if (::geteuid() != 0) return logs.writeTo(archivePath);
  const pid_t child = ::fork();
  if (child < 0) return false;
  if (child == 0) {
    const bool dropped = ::setgroups(0, nullptr) == 0 && ::setresgid(kNobody, kNobody, kNobody) == 0 &&
                         ::setresuid(kNobody, kNobody, kNobody) == 0;
    ::_exit(dropped && logs.writeTo(archivePath) ? 0 : 1);
  }
  int status = 0;
  ::waitpid(child, &status, 0);
  return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

TEST_F(LogExportTest, DriverLogTheUserMayNotReadIsListedAsNotIncluded) {
  writeFile(data("driver.log"), "driver line with a reader address\n");
  writeFile(data("driver.log.1"), "older driver line\n");
  // The driver's log is readable by root and the group kelvo only; an owner's file without read permission
  // stands in for it when the tests do not run as root.
  ::chmod(QFile::encodeName(data("driver.log")).constData(), ::geteuid() == 0 ? 0640 : 0200);
  ::chmod(QFile::encodeName(data("driver.log.1")).constData(), 0644);
  LogExport logs = makeExport();

  ASSERT_TRUE(exportAsOrdinaryUser(logs, archivePath()));

  const auto entries = readArchive(archivePath());
  EXPECT_EQ(entries.count("driver.log"), 0u);
  ASSERT_EQ(entries.count("driver.log.1"), 1u);
  EXPECT_EQ(entries.at("driver.log.1").content, "older driver line\n");
  EXPECT_EQ(QString::fromUtf8(entries.at("central.log").content), "window text");
  EXPECT_TRUE(notIncluded().contains("driver.log (" + data("driver.log") + "): this user may not read it"))
      << notIncluded().toStdString();
}

TEST_F(LogExportTest, ArchiveNamesWhatItHoldsWhenEverythingIsIncluded) {
  writeFile(root.filePath("state/central.log"), "application line\n");
  writeFile(root.filePath("state/central.log.1"), "older application line\n");
  writeFile(data("driver.log"), "driver line\n");
  writeFile(data("driver.log.1"), "older driver line\n");
  LogExport logs = makeExport();

  ASSERT_TRUE(logs.writeTo(archivePath()));

  const auto entries = readArchive(archivePath());
  QStringList names;
  for (const auto& [name, entry] : entries) names << name;
  EXPECT_EQ(names, QStringList({"application.log", "application.log.1", "central.log", "driver.log", "driver.log.1",
                                "not-included.txt"}));
  EXPECT_EQ(entries.at("application.log").content, "application line\n");
  EXPECT_EQ(entries.at("application.log.1").content, "older application line\n");
  EXPECT_TRUE(logs.notIncluded().isEmpty());
  EXPECT_EQ(notIncluded(), "Every log was included.\n");
}

struct PlantedLogCase {
  const char* name;
  std::function<bool(const QString& path, const QString& secret)> plant;
  const char* reason;
};

class LogExportPlantedTest : public LogExportTest, public ::testing::WithParamInterface<PlantedLogCase> {};

// What someone with write access to a log folder can leave under a log's name: never followed into another file,
// never waited on, always named in the list.
TEST_P(LogExportPlantedTest, IsLeftOutWithTheReason) {
  const QString secret = root.filePath("state/secret");
  writeFile(secret, "private key material");
  ASSERT_TRUE(GetParam().plant(data("driver.log"), secret));
  LogExport logs = makeExport();

  ASSERT_TRUE(logs.writeTo(archivePath()));

  const auto entries = readArchive(archivePath());
  EXPECT_EQ(entries.count("driver.log"), 0u);
  for (const auto& [name, entry] : entries) {
    EXPECT_FALSE(entry.content.contains("private key material")) << name.toStdString();
  }
  EXPECT_TRUE(notIncluded().contains("driver.log (" + data("driver.log") + "): " + GetParam().reason))
      << notIncluded().toStdString();
}

INSTANTIATE_TEST_SUITE_P(
    Kinds, LogExportPlantedTest,
    ::testing::Values(
        PlantedLogCase{"SymbolicLink",
                       [](const QString& path, const QString& secret) { return QFile::link(secret, path); },
                       "is a symbolic link, which is not followed"},
        PlantedLogCase{"Fifo",
                       [](const QString& path, const QString&) {
                         return ::mkfifo(QFile::encodeName(path).constData(), 0644) == 0;
                       },
                       "is not a regular file"},
        PlantedLogCase{"Directory", [](const QString& path, const QString&) { return QDir().mkdir(path); },
                       "is not a regular file"}),
    [](const ::testing::TestParamInfo<PlantedLogCase>& info) { return std::string(info.param.name); });

TEST_F(LogExportTest, OversizedLogContributesItsMostRecentPartAndSaysSo) {
  const QByteArray recent(static_cast<int>(LogExport::kMaxEntrySize), 'r');
  writeFile(data("driver.log"), "oldest line\n" + recent);
  LogExport logs = makeExport();

  ASSERT_TRUE(logs.writeTo(archivePath()));

  const auto entries = readArchive(archivePath());
  ASSERT_EQ(entries.count("driver.log"), 1u);
  EXPECT_TRUE(entries.at("driver.log").content == recent);
  EXPECT_TRUE(notIncluded().contains(QString("driver.log (%1): only its last %2 bytes of %3 are included")
                                         .arg(data("driver.log"))
                                         .arg(LogExport::kMaxEntrySize)
                                         .arg(LogExport::kMaxEntrySize + 12)))
      << notIncluded().toStdString();
}

TEST_F(LogExportTest, UnwritableTargetFailsWithTheReasonAndLeavesNothingBehind) {
  ::chmod(QFile::encodeName(root.filePath("target")).constData(), 0555);
  LogExport logs = makeExport();
  const bool written = exportAsOrdinaryUser(logs, archivePath());
  ::chmod(QFile::encodeName(root.filePath("target")).constData(), 0777);
  EXPECT_FALSE(written);
  EXPECT_TRUE(QDir(root.filePath("target")).isEmpty());
  if (::geteuid() != 0) {
    EXPECT_TRUE(logs.failure().contains("cannot create a temporary file beside")) << logs.failure().toStdString();
  }
}

}  // namespace
