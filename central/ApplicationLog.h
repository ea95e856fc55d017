// SPDX-License-Identifier: Apache-2.0
#pragma once
// The application's Qt log handler. Every Qt log line, the reader library's lines (which arrive through the
// library sink) and the log window's lines, goes to standard error and to one per-user file,
// $XDG_STATE_HOME/kelvo-central/central.log, so a user can attach a single file to a bug report. The file is
// rotated by size and a few older generations are kept. Safe to use from any thread.

#include <QString>
#include <QStringList>
#include <QtGlobal>

class ApplicationLog {
 public:
  static constexpr qint64 kDefaultMaxFileSize = qint64{2} * 1024 * 1024;
  // central.log.1 up to central.log.<kKeptGenerations>.
  static constexpr int kKeptGenerations = 3;

  static QString defaultFilePath();
  // The file the handler writes to, or wrote to last; the default path before any install.
  static QString filePath();

  // Installs the handler. False when the file cannot be opened; the handler then writes to standard error only.
  static bool install(const QString& filePath, qint64 maxFileSize = kDefaultMaxFileSize);
  // Restores Qt's default handler and closes the file.
  static void uninstall();

  static QString formatLine(QtMsgType type, const char* category, const QString& message);

  // Registers sinks with the reader library's log that write its lines to the Qt log under the category
  // "kelvo.library", each at the Qt level of its own (trace and debug as debug, info and notice as info, warning as
  // warning, error and worse as critical), without the library's time stamp (the file's line has one). The
  // library's trace and debug lines (every traced call and every named lock: thousands a minute with a few
  // readers) only when `tracing` is on.
  static void routeLibraryLog(bool tracing);

  // Tracing is on with the option --trace or with KELVO_TRACE set to anything but "" or "0".
  static bool tracingRequested(const QStringList& arguments);

 private:
  static void handleMessage(QtMsgType type, const QMessageLogContext& context, const QString& message);
};
