// SPDX-License-Identifier: Apache-2.0
#pragma once
// What "Export Logs" puts into the archive for a bug report:
//  - central.log: the log window's text;
//  - application.log and application.log.1: the application's own log file and its previous generation;
//  - driver.log and driver.log.1, and every other *.log of the data directory: the reader driver's and the
//    emulators' logs, when this user may read them (the driver's log is readable by root and the group kelvo only);
//  - not-included.txt: every file it looked for but could not include, and why.
// Files are opened without following symbolic links and only read when they are regular files, so a link planted
// in a log folder cannot smuggle another file of the user into an archive meant to be shared.

#include <QByteArray>
#include <QString>
#include <QStringList>

class LogArchive;

class LogExport {
 public:
  static const QString kWindowLogName;
  static const QString kApplicationLogName;
  static const QString kNotIncludedName;
  // A larger log contributes its most recent part only.
  static constexpr qint64 kMaxEntrySize = qint64{16} * 1024 * 1024;

  LogExport(QString windowText, QString applicationLogPath, QString dataDirectory);

  // Writes the archive; false when it could not be written, with the reason in failure().
  bool writeTo(const QString& archivePath);

  // One line per file left out, each naming the file and the reason; known after writeTo.
  const QStringList& notIncluded() const { return leftOut; }
  const QString& failure() const { return failureText; }

 private:
  void addLogFile(LogArchive& archive, const QString& filePath, const QString& entryName);
  QStringList dataDirectoryLogs() const;
  QByteArray notIncludedText() const;

  QString windowText;
  QString applicationLogPath;
  QString dataDirectory;
  QStringList leftOut;
  QString failureText;
};
