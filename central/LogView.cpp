#include "LogView.h"

#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QLoggingCategory>
#include <QMessageBox>
#include <QTextDocumentFragment>
#include <QTime>

#include "LogArchive.h"
#include "trevalon/local/Paths.h"
#include "ui_LogView.h"

namespace {
Q_LOGGING_CATEGORY(logWindow, "kelvo.logwindow")
}

const QString LogView::kArchiveName = QStringLiteral("KelvoLogs.zip");
const QString LogView::kWindowLogName = QStringLiteral("central.log");

LogView::LogView(QWidget* parent) : QWidget(parent), ui(std::make_unique<Ui::LogView>()) {
  ui->setupUi(this);
  ui->driverLoggingCheckBox->setChecked(QFile::exists(driverLoggingMarkerPath()));
}

LogView::~LogView() = default;

QString LogView::driverLoggingMarkerPath() {
  return QString::fromStdString(trevalon::local::Paths::dataDirectory()) + QLatin1String("/logging");
}

void LogView::errorOccurred(QString error) { appendLine("<p style=\"color:red\">", " ERROR: ", error); }

void LogView::debugMessageLogged(QString message) {
  appendLine("<p style=\"color:black\">", " INFO: ", message);
}

void LogView::verboseMessageLogged(QString message) {
  appendLine("<p style=\"color:gray\">", " VERBOSE: ", message);
}

void LogView::appendLine(const char* openingTag, const char* levelText, const QString& message) {
  const QString stamp = QTime::currentTime().toString(QStringLiteral("[hh:mm:ss.zzz]"));
  ui->logText->append(QLatin1String(openingTag) + stamp + QLatin1String(levelText) + message +
                      QLatin1String("</p>"));
  // The window's lines belong in the application log file too; messages may carry rich text.
  qCInfo(logWindow).noquote() << QString(QLatin1String(levelText)).trimmed()
                              << QTextDocumentFragment::fromHtml(message).toPlainText();
}

void LogView::on_driverLoggingCheckBox_clicked(bool checked) {
  const QString marker = driverLoggingMarkerPath();
  if (checked) {
    QFile file(marker);
    file.open(QIODevice::WriteOnly);
    file.close();
  } else {
    QFile::remove(marker);
  }
  QMessageBox::information(this, tr("Information"), tr("Changes will take effect after system reboot"));
}

void LogView::on_exportButton_clicked() {
  const QString directory = QFileDialog::getExistingDirectory(this, QString(), QString());
  if (directory.isEmpty()) return;
  exportLogs(directory);
}

bool LogView::exportLogs(const QString& directory) {
  const QString windowLog = QDir(directory).filePath(kWindowLogName);
  QFile file(windowLog);
  if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate)) return false;
  file.write(ui->logText->toPlainText().toUtf8());
  file.close();

  LogArchive archive(QDir(directory).filePath(kArchiveName));
  if (!archive.isOpen()) return false;
  bool complete = archive.addFile(windowLog, kWindowLogName);
  const QDir dataDirectory(QString::fromStdString(trevalon::local::Paths::dataDirectory()));
  const QFileInfoList logs =
      dataDirectory.entryInfoList({QStringLiteral("*.log")}, QDir::Files | QDir::Hidden, QDir::Name);
  for (const QFileInfo& log : logs) {
    if (log.suffix() == QLatin1String("log")) complete = archive.addFile(log.absoluteFilePath(), log.fileName()) && complete;
  }
  complete = archive.finish() && complete;
  // libzip reads the entries while finishing, so the window's copy can go only now.
  QFile::remove(windowLog);
  return complete;
}
