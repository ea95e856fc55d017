// SPDX-License-Identifier: Apache-2.0
#pragma once
// The log window: every message of the device manager, the devices and the lock task as a coloured, time-stamped
// line; the switch of the reader driver's own logging; and the export of all logs as one archive.

#include <QWidget>
#include <memory>

namespace Ui {
class LogView;
}

class LogView : public QWidget {
  Q_OBJECT

 public:
  static const QString kArchiveName;

  explicit LogView(QWidget* parent = nullptr);
  ~LogView() override;

  // The reader driver logs while this file exists; it reads it when it starts.
  static QString driverLoggingMarkerPath();

  // Writes the archive of every log (see LogExport) into the directory; false, with a line in the window, when it
  // could not be written.
  bool exportLogs(const QString& directory);

 public slots:
  void errorOccurred(const QString& error);
  void debugMessageLogged(const QString& message);
  void verboseMessageLogged(const QString& message);

 private slots:
  void on_driverLoggingCheckBox_clicked(bool checked);
  void on_exportButton_clicked();

 private:
  void appendLine(const char* openingTag, const char* levelText, const QString& message);

  std::unique_ptr<Ui::LogView> ui;
};
