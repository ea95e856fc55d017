// SPDX-License-Identifier: Apache-2.0
#include "firmware/KelvoUsbReaderFinder.h"

#include <QTimerEvent>

#include <string>

#include "trevalon/usb/ReaderUsbIds.h"
#include "trevalon/usb/UsbBus.h"

KelvoUsbReaderFinder::KelvoUsbReaderFinder(const QString& serial, QObject* parent) : QObject(parent), serial(serial) {
  timerId = startTimer(kPollMs, Qt::CoarseTimer);
}

void KelvoUsbReaderFinder::timerEvent(QTimerEvent* event) {
  if (event->timerId() != timerId) return;
  trevalon::usb::UsbBus bus;
  std::string error;
  const bool found = bus.present(trevalon::usb::ReaderUsbIds::anyMode(), serial.toStdString(), error);
  if (!error.empty()) emit errorOccurred(QString::fromStdString(error));
  if (!found) return;
  killTimer(timerId);
  timerId = 0;
  emit usbReaderFound();
}
