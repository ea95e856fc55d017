// SPDX-License-Identifier: Apache-2.0
#pragma once
// Waits for a reader to be plugged in by USB: looks for it on the USB bus each second, in any of its modes (its ids
// in the table and its serial number string ending with the reader's serial), and says so once.

#include <QObject>
#include <QString>

class KelvoUsbReaderFinder : public QObject {
  Q_OBJECT

 public:
  static constexpr int kPollMs = 1000;

  explicit KelvoUsbReaderFinder(const QString& serial, QObject* parent = nullptr);

 signals:
  void usbReaderFound();
  void errorOccurred(const QString& error);

 protected:
  void timerEvent(QTimerEvent* event) override;

 private:
  QString serial;
  int timerId = 0;
};
