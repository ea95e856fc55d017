#include "LogView.h"

#include <gtest/gtest.h>
#include <zip.h>

#include <QCheckBox>
#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QPushButton>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>
#include <QTextEdit>
#include <map>

#include "ApplicationLog.h"
#include "MessageBoxCatcher.h"
#include "trevalon/local/Paths.h"

namespace {

QString dataDirectory() { return QString::fromStdString(trevalon::local::Paths::dataDirectory()); }

void writeFile(const QString& path, const QByteArray& content) {
  QFile file(path);
  ASSERT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
  file.write(content);
}

struct ArchiveEntry {
  QByteArray content;
  int compression = -1;
};

std::map<QString, ArchiveEntry> readArchive(const QString& path) {
  std::map<QString, ArchiveEntry> entries;
  int error = 0;
  zip_t* archive = zip_open(QFile::encodeName(path).constData(), ZIP_RDONLY, &error);
  if (archive == nullptr) return entries;
  const zip_int64_t count = zip_get_num_entries(archive, 0);
  for (zip_int64_t i = 0; i < count; ++i) {
    zip_stat_t stat;
    zip_stat_index(archive, static_cast<zip_uint64_t>(i), 0, &stat);
    ArchiveEntry entry;
    entry.compression = stat.comp_method;
    entry.content.resize(static_cast<int>(stat.size));
    zip_file_t* file = zip_fopen_index(archive, static_cast<zip_uint64_t>(i), 0);
    if (file != nullptr) {
      zip_fread(file, entry.content.data(), stat.size);
      zip_fclose(file);
    }
    entries[QString::fromUtf8(stat.name)] = entry;
  }
  zip_close(archive);
  return entries;
}

struct LineCase {
  const char* slot;
  const char* color;
  const char* level;
};

class LogViewLineTest : public ::testing::TestWithParam<LineCase> {};

TEST_P(LogViewLineTest, LineCarriesColourTimeToTheMillisecondAndLevel) {
  LogView view;
  const LineCase& c = GetParam();
  ASSERT_TRUE(QMetaObject::invokeMethod(&view, c.slot, Q_ARG(QString, "Reader <b>AABBCCDDEEFF</b> lost")));
  auto* text = view.findChild<QTextEdit*>("logText");
  ASSERT_NE(text, nullptr);
  EXPECT_TRUE(text->isReadOnly());
  const QString plain = text->toPlainText();
  const QRegularExpression format(QString("^\\[\\d\\d:\\d\\d:\\d\\d\\.\\d{3}\\] %1: Reader AABBCCDDEEFF lost$").arg(c.level));
  EXPECT_TRUE(format.match(plain).hasMatch()) << plain.toStdString();
  const QString html = text->toHtml();
  EXPECT_TRUE(html.contains(QString("color:%1").arg(c.color))) << html.toStdString();
  // Messages may carry rich text, which is kept.
  EXPECT_TRUE(html.contains("font-weight:600")) << html.toStdString();
}

INSTANTIATE_TEST_SUITE_P(Slots, LogViewLineTest,
                         ::testing::Values(LineCase{"errorOccurred", "#ff0000", "ERROR"},
                                           LineCase{"debugMessageLogged", "#000000", "INFO"},
                                           LineCase{"verboseMessageLogged", "#808080", "VERBOSE"}),
                         [](const ::testing::TestParamInfo<LineCase>& info) { return std::string(info.param.slot); });

TEST(LogViewTest, LinesAreAppendedInOrderAsParagraphs) {
  LogView view;
  view.errorOccurred("first");
  view.debugMessageLogged("second");
  view.verboseMessageLogged("third");
  const QStringList lines = view.findChild<QTextEdit*>("logText")->toPlainText().split('\n');
  ASSERT_EQ(lines.size(), 3);
  EXPECT_TRUE(lines[0].endsWith("] ERROR: first"));
  EXPECT_TRUE(lines[1].endsWith("] INFO: second"));
  EXPECT_TRUE(lines[2].endsWith("] VERBOSE: third"));
}

// One file for a bug report: what the window shows also goes to the application's log file, as plain text.
TEST(LogViewTest, WindowLinesAlsoReachTheApplicationLogFile) {
  QTemporaryDir directory;
  const QString path = directory.filePath("central.log");
  ASSERT_TRUE(ApplicationLog::install(path));
  LogView view;
  view.errorOccurred("Reader <b>AABBCCDDEEFF</b> lost");
  view.verboseMessageLogged("State polled");
  ApplicationLog::uninstall();
  QFile file(path);
  ASSERT_TRUE(file.open(QIODevice::ReadOnly));
  const QStringList lines = QString::fromUtf8(file.readAll()).split('\n', Qt::SkipEmptyParts);
  ASSERT_EQ(lines.size(), 2);
  EXPECT_TRUE(lines[0].endsWith("[kelvo.logwindow] ERROR: Reader AABBCCDDEEFF lost")) << lines[0].toStdString();
  EXPECT_TRUE(lines[1].endsWith("[kelvo.logwindow] VERBOSE: State polled")) << lines[1].toStdString();
}

TEST(LogViewTest, TitleAndControls) {
  LogView view;
  EXPECT_EQ(view.windowTitle(), "Log");
  EXPECT_EQ(view.findChild<QCheckBox*>("driverLoggingCheckBox")->text(), "Driver Logging");
  EXPECT_EQ(view.findChild<QPushButton*>("exportButton")->text(), "Export Logs");
}

TEST(LogViewTest, DriverLoggingSwitchesTheMarkerFileAndAnnouncesTheReboot) {
  const QString marker = dataDirectory() + "/logging";
  EXPECT_EQ(LogView::driverLoggingMarkerPath(), marker);
  QFile::remove(marker);
  LogView view;
  auto* box = view.findChild<QCheckBox*>("driverLoggingCheckBox");
  EXPECT_FALSE(box->isChecked());
  kelvo::test::MessageBoxCatcher catcher;

  QTest::mouseClick(box, Qt::LeftButton);
  EXPECT_TRUE(QFile::exists(marker));
  EXPECT_EQ(QFileInfo(marker).size(), 0);
  QTest::mouseClick(box, Qt::LeftButton);
  EXPECT_FALSE(QFile::exists(marker));

  const QString notice = "Information: Changes will take effect after system reboot";
  EXPECT_EQ(catcher.seen(), QStringList({notice, notice}));
}

TEST(LogViewTest, SwitchStartsOnWhenTheMarkerExists) {
  writeFile(dataDirectory() + "/logging", {});
  LogView view;
  EXPECT_TRUE(view.findChild<QCheckBox*>("driverLoggingCheckBox")->isChecked());
  QFile::remove(dataDirectory() + "/logging");
}

TEST(LogViewTest, TurningOffAMissingMarkerStillAnnouncesTheReboot) {
  writeFile(dataDirectory() + "/logging", {});
  LogView view;
  QFile::remove(dataDirectory() + "/logging");
  kelvo::test::MessageBoxCatcher catcher;
  QTest::mouseClick(view.findChild<QCheckBox*>("driverLoggingCheckBox"), Qt::LeftButton);
  EXPECT_FALSE(QFile::exists(dataDirectory() + "/logging"));
  EXPECT_EQ(catcher.seen().size(), 1);
}

TEST(LogViewTest, ExportHoldsTheWindowTextAndEveryLogOfTheDataDirectory) {
  writeFile(dataDirectory() + "/driver.log", "driver line\n");
  writeFile(dataDirectory() + "/kelvo-sim.log", "sim line\n");
  writeFile(dataDirectory() + "/notes.txt", "not a log\n");
  QDir(dataDirectory()).mkpath("folder.log");
  LogView view;
  view.errorOccurred("Reader lost");
  view.debugMessageLogged("Reader found");
  QTemporaryDir target;

  ASSERT_TRUE(view.exportLogs(target.path()));

  const auto entries = readArchive(target.filePath("KelvoLogs.zip"));
  ASSERT_EQ(entries.size(), 3u);
  ASSERT_EQ(entries.count("central.log"), 1u);
  EXPECT_EQ(QString::fromUtf8(entries.at("central.log").content),
            view.findChild<QTextEdit*>("logText")->toPlainText());
  EXPECT_EQ(entries.at("driver.log").content, "driver line\n");
  EXPECT_EQ(entries.at("kelvo-sim.log").content, "sim line\n");
  for (const auto& [name, entry] : entries) EXPECT_EQ(entry.compression, ZIP_CM_DEFLATE) << name.toStdString();
  // The window's text was written only to go into the archive.
  EXPECT_FALSE(QFile::exists(target.filePath("central.log")));
}

TEST(LogViewTest, ExportReplacesAnExistingArchive) {
  QTemporaryDir target;
  writeFile(target.filePath("KelvoLogs.zip"), "an old archive that is not even a zip file");
  LogView view;
  view.debugMessageLogged("fresh line");
  ASSERT_TRUE(view.exportLogs(target.path()));
  const auto entries = readArchive(target.filePath("KelvoLogs.zip"));
  ASSERT_EQ(entries.count("central.log"), 1u);
  EXPECT_TRUE(entries.at("central.log").content.endsWith("INFO: fresh line"));
}

// Answers the directory question of "Export Logs": with the directory, or by cancelling when it is empty.
class DirectoryAnswer {
 public:
  explicit DirectoryAnswer(const QString& directory) {
    QObject::connect(&poll, &QTimer::timeout, [this, directory] {
      auto* dialog = qobject_cast<QFileDialog*>(QApplication::activeModalWidget());
      if (dialog == nullptr) return;
      asked = true;
      directoryMode = dialog->fileMode() == QFileDialog::Directory || dialog->testOption(QFileDialog::ShowDirsOnly);
      if (directory.isEmpty()) {
        dialog->reject();
      } else {
        dialog->setDirectory(directory);
        QMetaObject::invokeMethod(dialog, "accept");
      }
    });
    poll.start(5);
  }
  bool asked = false;
  bool directoryMode = false;

 private:
  QTimer poll;
};

TEST(LogViewTest, ExportButtonAsksForADirectoryAndCancellingWritesNothing) {
  LogView view;
  view.debugMessageLogged("line");
  QTemporaryDir target;
  {
    DirectoryAnswer cancel{QString()};
    QTest::mouseClick(view.findChild<QPushButton*>("exportButton"), Qt::LeftButton);
    EXPECT_TRUE(cancel.asked);
    EXPECT_TRUE(cancel.directoryMode);
  }
  EXPECT_TRUE(QDir(target.path()).isEmpty());
  {
    DirectoryAnswer choose{target.path()};
    QTest::mouseClick(view.findChild<QPushButton*>("exportButton"), Qt::LeftButton);
    EXPECT_TRUE(choose.asked);
  }
  EXPECT_EQ(QDir(target.path()).entryList(QDir::Files), QStringList({"KelvoLogs.zip"}));
}

TEST(LogViewTest, ExportIntoAMissingDirectoryFails) {
  LogView view;
  EXPECT_FALSE(view.exportLogs("/nonexistent-kelvo-export"));
}

}  // namespace
