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
  QString failure;
  if (checked) {
    QFile file(marker);
    if (!file.open(QIODevice::WriteOnly)) failure = file.errorString();
    file.close();
  } else {
    QFile file(marker);
    if (file.exists() && !file.remove()) failure = file.errorString();
  }
  // The marker's folder is the driver's: root and the members of its group may change it, others are told why
  // not, and the box keeps showing what is really there.
  if (!failure.isEmpty()) {
    ui->driverLoggingCheckBox->setChecked(QFile::exists(marker));
    qCWarning(logWindow, "Cannot %s %s: %s", checked ? "create" : "remove", qPrintable(marker), qPrintable(failure));
    QMessageBox::warning(this, tr("Driver Logging"),
                         tr("The driver's logging cannot be switched: %1 (%2).\n\nOnly root and members of the "
                            "group kelvo may change it, for example with: sudo usermod -aG kelvo $USER")
                             .arg(marker, failure));
    return;
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
