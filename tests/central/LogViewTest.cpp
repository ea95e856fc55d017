// SPDX-License-Identifier: Apache-2.0
#include "LogView.h"

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>
#include <QApplication>
#include <QCheckBox>
#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QPushButton>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>
#include <QTextEdit>

#include "ApplicationLog.h"
#include "ApplicationPalette.h"
#include "ArchiveEntries.h"
#include "MessageBoxCatcher.h"
#include "trevalon/local/Paths.h"

namespace {

using kelvo::test::readArchive;

QString dataDirectory() { return QString::fromStdString(trevalon::local::Paths::dataDirectory()); }

void writeFile(const QString& path, const QByteArray& content) {
  QFile file(path);
  ASSERT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
  file.write(content);
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
  const QRegularExpression format(
      QString("^\\[\\d\\d:\\d\\d:\\d\\d\\.\\d{3}\\] %1: Reader <b>AABBCCDDEEFF</b> lost$").arg(c.level));
  EXPECT_TRUE(format.match(plain).hasMatch()) << plain.toStdString();
  const QString html = text->toHtml();
  EXPECT_TRUE(html.contains(QString("color:%1").arg(c.color))) << html.toStdString();
}

INSTANTIATE_TEST_SUITE_P(Slots, LogViewLineTest,
                         ::testing::Values(LineCase{"errorOccurred", "#ff0000", "ERROR"},
                                           LineCase{"debugMessageLogged", "#000000", "INFO"},
                                           LineCase{"verboseMessageLogged", "#808080", "VERBOSE"}),
                         [](const ::testing::TestParamInfo<LineCase>& info) { return std::string(info.param.slot); });

// Reader names and descriptor strings come from the air: whatever markup they hold is shown as text, so a reader
// cannot restyle the log, load images or forge further lines.
TEST(LogViewTest, MarkupInAMessageIsShownAsTheTextItIs) {
  LogView view;
  const QString message = "Reader <b>x</b><img src=\"file:///etc/passwd\"><p style=\"color:red\">forged</p>&amp;";
  view.debugMessageLogged(message);
  auto* text = view.findChild<QTextEdit*>("logText");
  const QStringList lines = text->toPlainText().split('\n');
  ASSERT_EQ(lines.size(), 1) << text->toPlainText().toStdString();
  EXPECT_TRUE(lines[0].endsWith("] INFO: " + message)) << lines[0].toStdString();
  const QString html = text->toHtml();
  EXPECT_FALSE(html.contains("<img")) << html.toStdString();
  EXPECT_FALSE(html.contains("font-weight:600")) << html.toStdString();
  EXPECT_FALSE(html.contains("#ff0000")) << html.toStdString();
}

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
  EXPECT_TRUE(lines[0].endsWith("[kelvo.logwindow] ERROR: Reader <b>AABBCCDDEEFF</b> lost")) << lines[0].toStdString();
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

// A marker that cannot be written (here: its folder is missing, which stops root too) is reported with its reason;
// the box goes back and no restart is announced for a change that did not happen.
TEST(LogViewTest, AMarkerThatCannotBeWrittenIsExplainedAndNotAnnounced) {
  const QByteArray saved = qgetenv("TREVALON_DATA_DIR");
  QTemporaryDir scratch;
  qputenv("TREVALON_DATA_DIR", QFile::encodeName(scratch.filePath("missing")));
  LogView view;
  auto* box = view.findChild<QCheckBox*>("driverLoggingCheckBox");
  kelvo::test::MessageBoxCatcher catcher;
  QTest::mouseClick(box, Qt::LeftButton);
  qputenv("TREVALON_DATA_DIR", saved);
  EXPECT_FALSE(box->isChecked());
  ASSERT_EQ(catcher.seen().size(), 1);
  EXPECT_TRUE(catcher.seen().front().startsWith("Driver Logging: The driver's logging cannot be switched: ") &&
              catcher.seen().front().contains("group kelvo"))
      << catcher.seen().front().toStdString();
}

// Fraction of the image's pixels darker than `limit` (text) and lighter than 255 - limit (background).
std::pair<double, double> darkAndLight(const QImage& image, int limit) {
  int dark = 0;
  int light = 0;
  for (int y = 0; y < image.height(); ++y) {
    for (int x = 0; x < image.width(); ++x) {
      const int lightness = image.pixelColor(x, y).lightness();
      if (lightness < limit) ++dark;
      if (lightness > 255 - limit) ++light;
    }
  }
  const double all = static_cast<double>(image.width()) * image.height();
  return {dark / all, light / all};
}

// Under a dark desktop palette the log window's black lines would sit on a dark text box; the program keeps its
// light palette, so they stay black on white. KELVO_SCREENSHOT_DIR keeps both pictures.
TEST(LogViewTest, ADarkDesktopPaletteLeavesTheLinesLegible) {
  const QPalette original = QApplication::palette();
  QPalette dark;
  for (auto role : {QPalette::Window, QPalette::Base, QPalette::Button}) dark.setColor(role, QColor(35, 35, 38));
  for (auto role : {QPalette::WindowText, QPalette::Text, QPalette::ButtonText}) dark.setColor(role, Qt::white);
  const QString folder = qEnvironmentVariable("KELVO_SCREENSHOT_DIR");
  auto render = [&folder](const char* name) {
    LogView view;
    for (int i = 0; i < 12; ++i) view.debugMessageLogged(QStringLiteral("Reader Kelvo 512345678%1 found").arg(i));
    view.resize(500, 300);
    auto* text = view.findChild<QTextEdit*>("logText");
    QImage shot = text->viewport()->grab().toImage();
    if (!folder.isEmpty()) shot.save(QDir(folder).filePath(QStringLiteral("log-view-%1.png").arg(name)));
    return shot;
  };

  QApplication::setPalette(dark);
  ASSERT_TRUE(ApplicationPalette::isDark(QApplication::palette()));
  const auto [darkTextOnDark, lightOnDark] = darkAndLight(render("dark-desktop-unguarded"), 60);
  // The fault this guards against: hardly any light background under the black lines.
  EXPECT_LT(lightOnDark, 0.5);

  ApplicationPalette::apply(*qobject_cast<QApplication*>(QCoreApplication::instance()));
  EXPECT_FALSE(ApplicationPalette::isDark(QApplication::palette()));
  const auto [text, background] = darkAndLight(render("dark-desktop"), 60);
  EXPECT_GT(background, 0.8);
  EXPECT_GT(text, 0.005);
  QApplication::setPalette(original);
  Q_UNUSED(darkTextOnDark);
}

TEST(LogViewTest, ExportHoldsTheWindowTextTheApplicationLogAndTheLogsOfTheDataDirectory) {
  QTemporaryDir state;
  ASSERT_TRUE(ApplicationLog::install(state.filePath("central.log")));
  writeFile(dataDirectory() + "/driver.log", "driver line\n");
  writeFile(dataDirectory() + "/kelvo-sim.log", "sim line\n");
  writeFile(dataDirectory() + "/notes.txt", "not a log\n");
  QDir(dataDirectory()).mkpath("folder.log");
  LogView view;
  view.errorOccurred("Reader lost");
  view.debugMessageLogged("Reader found");
  QTemporaryDir target;

  ASSERT_TRUE(view.exportLogs(target.path()));
  ApplicationLog::uninstall();

  const auto entries = readArchive(target.filePath("KelvoLogs.zip"));
  QStringList names;
  for (const auto& [name, entry] : entries) names << name;
  EXPECT_EQ(names, QStringList({"application.log", "central.log", "driver.log", "kelvo-sim.log", "not-included.txt"}));
  ASSERT_EQ(entries.count("central.log"), 1u);
  EXPECT_EQ(QString::fromUtf8(entries.at("central.log").content), view.findChild<QTextEdit*>("logText")->toPlainText());
  ASSERT_EQ(entries.count("application.log"), 1u);
  EXPECT_TRUE(entries.at("application.log").content.contains("[kelvo.logwindow] INFO: Reader found"));
  EXPECT_EQ(entries.at("driver.log").content, "driver line\n");
  EXPECT_EQ(entries.at("kelvo-sim.log").content, "sim line\n");
  const QString notIncluded = QString::fromUtf8(entries.at("not-included.txt").content);
  EXPECT_TRUE(notIncluded.contains("application.log.1 (" + state.filePath("central.log.1") + "): does not exist"))
      << notIncluded.toStdString();
  EXPECT_TRUE(notIncluded.contains("driver.log.1 (" + dataDirectory() + "/driver.log.1): does not exist"))
      << notIncluded.toStdString();
  for (const auto& [name, entry] : entries) EXPECT_EQ(entry.compression, ZIP_CM_DEFLATE) << name.toStdString();
  EXPECT_EQ(QDir(target.path()).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot),
            QStringList({"KelvoLogs.zip"}));
  for (const char* name : {"driver.log", "kelvo-sim.log", "notes.txt"}) QFile::remove(dataDirectory() + "/" + name);
  QDir(dataDirectory()).rmdir("folder.log");
}

// The archive goes to folders the user picks, shared ones included: readable by its owner only, and nothing that
// another user planted under the names the export writes is followed.
TEST(LogViewTest, ExportedArchiveIsPrivateAndPlantedLinksAreReplacedNotFollowed) {
  QTemporaryDir target;
  QTemporaryDir elsewhere;
  const QString victim = elsewhere.filePath("victim");
  writeFile(victim, "precious");
  ASSERT_TRUE(QFile::link(victim, target.filePath("KelvoLogs.zip")));
  ASSERT_TRUE(QFile::link(victim, target.filePath("central.log")));
  LogView view;
  view.debugMessageLogged("line");

  const mode_t previousMask = ::umask(0);
  const bool exported = view.exportLogs(target.path());
  ::umask(previousMask);

  ASSERT_TRUE(exported);
  QFile victimFile(victim);
  ASSERT_TRUE(victimFile.open(QIODevice::ReadOnly));
  EXPECT_EQ(victimFile.readAll(), "precious");
  struct stat status {};
  ASSERT_EQ(::lstat(QFile::encodeName(target.filePath("KelvoLogs.zip")).constData(), &status), 0);
  EXPECT_TRUE(S_ISREG(status.st_mode));
  EXPECT_EQ(status.st_mode & 07777, 0600u);
  EXPECT_EQ(status.st_uid, ::getuid());
  EXPECT_EQ(readArchive(target.filePath("KelvoLogs.zip")).count("central.log"), 1u);
  EXPECT_EQ(
      QDir(target.path()).entryList(QDir::AllEntries | QDir::System | QDir::Hidden | QDir::NoDotAndDotDot, QDir::Name),
      QStringList({"KelvoLogs.zip", "central.log"}));
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

TEST(LogViewTest, ExportIntoAMissingDirectoryFailsWithALineInTheWindow) {
  LogView view;
  EXPECT_FALSE(view.exportLogs("/nonexistent-kelvo-export"));
  const QString text = view.findChild<QTextEdit*>("logText")->toPlainText();
  EXPECT_TRUE(text.contains("ERROR: Cannot write the log archive /nonexistent-kelvo-export/KelvoLogs.zip: "))
      << text.toStdString();
}

}  // namespace
