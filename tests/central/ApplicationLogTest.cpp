// SPDX-License-Identifier: Apache-2.0
#include "ApplicationLog.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <QDir>
#include <QFile>
#include <QLoggingCategory>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <thread>
#include <vector>
#include "trevalon/common/Log.h"

namespace {

Q_LOGGING_CATEGORY(testCategory, "kelvo.test")

QStringList linesOf(const QString& path) {
  QFile file(path);
  if (!file.open(QIODevice::ReadOnly)) return {};
  return QString::fromUtf8(file.readAll()).split('\n', Qt::SkipEmptyParts);
}

class ApplicationLogTest : public ::testing::Test {
 protected:
  void TearDown() override { ApplicationLog::uninstall(); }
  QTemporaryDir directory;
};

TEST_F(ApplicationLogTest, FileLivesUnderTheStateHomeOfTheUser) {
  qputenv("XDG_STATE_HOME", "/home/someone/.state");
  EXPECT_EQ(ApplicationLog::defaultFilePath(), "/home/someone/.state/kelvo-central/central.log");
  qputenv("XDG_STATE_HOME", "");
  EXPECT_EQ(ApplicationLog::defaultFilePath(), QDir::homePath() + "/.local/state/kelvo-central/central.log");
}

TEST_F(ApplicationLogTest, EveryQtLogLineReachesTheFileWithTimeLevelAndCategory) {
  const QString path = directory.filePath("nested/kelvo-central/central.log");
  ASSERT_TRUE(ApplicationLog::install(path));
  qInfo("library says %d", 7);
  qCWarning(testCategory) << "window says" << 8;
  const QStringList lines = linesOf(path);
  ASSERT_EQ(lines.size(), 2);
  const QRegularExpression stamp("^\\d{4}-\\d\\d-\\d\\d \\d\\d:\\d\\d:\\d\\d\\.\\d{3} ");
  EXPECT_TRUE(stamp.match(lines[0]).hasMatch()) << lines[0].toStdString();
  EXPECT_TRUE(lines[0].endsWith("info     [default] library says 7")) << lines[0].toStdString();
  EXPECT_TRUE(lines[1].endsWith("warning  [kelvo.test] window says 8")) << lines[1].toStdString();

  struct stat info {};
  ASSERT_EQ(::stat(QFile::encodeName(path).constData(), &info), 0);
  EXPECT_EQ(info.st_mode & 0777, 0600u);
}

TEST_F(ApplicationLogTest, FullFileIsRotatedAndOnlyAFewGenerationsAreKept) {
  const QString path = directory.filePath("central.log");
  ASSERT_TRUE(ApplicationLog::install(path, 200));
  for (int i = 0; i < 40; ++i) qInfo("line %02d with some padding to fill the file", i);
  EXPECT_TRUE(QFile::exists(path + ".1"));
  EXPECT_TRUE(QFile::exists(path + ".3"));
  EXPECT_FALSE(QFile::exists(path + ".4"));
  // The newest line is in the current file, and nothing in the kept files is newer than what follows them.
  const QStringList current = linesOf(path);
  const QStringList previous = linesOf(path + ".1");
  ASSERT_FALSE(previous.isEmpty());
  EXPECT_TRUE(previous.last().contains("line")) << previous.last().toStdString();
  if (!current.isEmpty())
    EXPECT_TRUE(current.last().contains("line 39"));
  else
    EXPECT_TRUE(previous.last().contains("line 39"));
}

TEST_F(ApplicationLogTest, LinesFromManyThreadsStayWhole) {
  const QString path = directory.filePath("central.log");
  ASSERT_TRUE(ApplicationLog::install(path));
  std::vector<std::thread> threads;
  for (int t = 0; t < 4; ++t) {
    threads.emplace_back([t] {
      for (int i = 0; i < 100; ++i) qInfo("thread %d line %d end", t, i);
    });
  }
  for (std::thread& thread : threads) thread.join();
  const QStringList lines = linesOf(path);
  ASSERT_EQ(lines.size(), 400);
  for (const QString& line : lines) EXPECT_TRUE(line.endsWith(" end")) << line.toStdString();
}

// Library lines keep their level, carry the file's time stamp only, and trace and debug lines come only when
// tracing is on.
TEST_F(ApplicationLogTest, LibraryLinesKeepTheirLevelAndTracesNeedTracing) {
  for (const bool tracing : {false, true}) {
    const QString path = directory.filePath(tracing ? "traced.log" : "plain.log");
    ASSERT_TRUE(ApplicationLog::install(path));
    trevalon::common::clearLogSinksForTesting();
    ApplicationLog::routeLibraryLog(tracing);
    TREVALON_LOG(error, "Reader %s lost", "AABBCCDDEEFF");
    TREVALON_LOG(warning, "slow answer");
    TREVALON_LOG(info, "reader found");
    TREVALON_LOG(debug, "lock taken");
    TREVALON_LOG(trace, "entering %d", 3);
    trevalon::common::clearLogSinksForTesting();
    ApplicationLog::uninstall();
    const QStringList lines = linesOf(path);
    ASSERT_EQ(lines.size(), tracing ? 5 : 3) << lines.join('\n').toStdString();
    const char* expected[][2] = {{"critical [kelvo.library] ", "Reader AABBCCDDEEFF lost"},
                                 {"warning  [kelvo.library] ", "slow answer"},
                                 {"info     [kelvo.library] ", "reader found"},
                                 {"debug    [kelvo.library] ", "lock taken"},
                                 {"debug    [kelvo.library] ", "entering 3"}};
    for (int i = 0; i < lines.size(); ++i) {
      EXPECT_TRUE(lines[i].contains(expected[i][0]) && lines[i].contains(expected[i][1])) << lines[i].toStdString();
      // One time stamp: the file's, at the start; the library's own (with microseconds) is gone.
      EXPECT_EQ(lines[i].count(QRegularExpression("\\d{4}-\\d{2}-\\d{2} \\d{2}:\\d{2}:\\d{2}")), 1)
          << lines[i].toStdString();
    }
  }
}

TEST_F(ApplicationLogTest, TracingByOptionOrEnvironment) {
  const QByteArray saved = qgetenv("KELVO_TRACE");
  qunsetenv("KELVO_TRACE");
  EXPECT_FALSE(ApplicationLog::tracingRequested({"kelvo-central", "-hidden"}));
  EXPECT_TRUE(ApplicationLog::tracingRequested({"kelvo-central", "--trace"}));
  qputenv("KELVO_TRACE", "0");
  EXPECT_FALSE(ApplicationLog::tracingRequested({"kelvo-central"}));
  qputenv("KELVO_TRACE", "1");
  EXPECT_TRUE(ApplicationLog::tracingRequested({"kelvo-central"}));
  if (saved.isNull()) {
    qunsetenv("KELVO_TRACE");
  } else {
    qputenv("KELVO_TRACE", saved);
  }
}

TEST_F(ApplicationLogTest, UnwritableFileIsReportedAndLoggingGoesOn) {
  EXPECT_FALSE(ApplicationLog::install("/proc/kelvo-cannot-be-here/central.log"));
  qInfo("still logging to standard error");
}

}  // namespace
