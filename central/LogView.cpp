// SPDX-License-Identifier: Apache-2.0
#include "LogView.h"

#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QLoggingCategory>
#include <QMessageBox>
#include <QTime>

#include "ApplicationLog.h"
#include "LogExport.h"
#include "trevalon/local/Paths.h"
#include "ui_LogView.h"

namespace {
Q_LOGGING_CATEGORY(logWindow, "kelvo.logwindow")
}

const QString LogView::kArchiveName = QStringLiteral("KelvoLogs.zip");

LogView::LogView(QWidget* parent) : QWidget(parent), ui(std::make_unique<Ui::LogView>()) {
  ui->setupUi(this);
  ui->driverLoggingCheckBox->setChecked(QFile::exists(driverLoggingMarkerPath()));
}

LogView::~LogView() = default;

QString LogView::driverLoggingMarkerPath() {
  return QString::fromStdString(trevalon::local::Paths::dataDirectory()) + QLatin1String("/logging");
}

void LogView::errorOccurred(const QString& error) { appendLine("<p style=\"color:red\">", " ERROR: ", error); }

void LogView::debugMessageLogged(const QString& message) {
  appendLine("<p style=\"color:black\">", " INFO: ", message);
}

void LogView::verboseMessageLogged(const QString& message) {
  appendLine("<p style=\"color:gray\">", " VERBOSE: ", message);
}

void LogView::appendLine(const char* openingTag, const char* levelText, const QString& message) {
  const QString stamp = QTime::currentTime().toString(QStringLiteral("[hh:mm:ss.zzz]"));
  // Messages carry what readers send (names, descriptor strings): shown as the text they are, never as markup.
  ui->logText->append(QLatin1String(openingTag) + stamp + QLatin1String(levelText) + message.toHtmlEscaped() +
                      QLatin1String("</p>"));
  // The window's lines belong in the application log file too.
  qCInfo(logWindow).noquote() << QString(QLatin1String(levelText)).trimmed() << message;
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
  LogExport logs(ui->logText->toPlainText(), ApplicationLog::filePath(),
                 QString::fromStdString(trevalon::local::Paths::dataDirectory()));
  const QString archivePath = QDir(directory).filePath(kArchiveName);
  if (!logs.writeTo(archivePath)) {
    errorOccurred(QStringLiteral("Cannot write the log archive %1: %2").arg(archivePath, logs.failure()));
    return false;
  }
  return true;
}
