// SPDX-License-Identifier: Apache-2.0
#pragma once
// One flashing run for one reader. Over the air it writes the signed image into the reader's external flash through
// the device's RPC, reporting progress; the manager then sends the reader into its bootloader, which installs it.
// Through USB it looks for the reader's bootloader each second once the reader no longer answers over the air, and
// writes it page by page; an unplugged reader asks to be connected again, and a failed attempt starts again from
// the erase at the next second.

#include <QByteArray>
#include <QObject>
#include <QPointer>
#include <QString>

#include "devices/KelvoDevice.h"

class KelvoFlasher : public QObject {
  Q_OBJECT

 public:
  static constexpr int kPollMs = 1000;

  KelvoFlasher(KelvoDevice* device, const QByteArray& image, QObject* parent = nullptr);

  // The USB route: probes the reader once; only when it does not take firmware over the air (it has gone into its
  // bootloader) does the search for the bootloader start.
  void startUsb();

  // The whole image written; false after reporting why not.
  bool writeOverTheAir();

 signals:
  void flashConnectStateTransited();
  void flashUpdateStateTransited(int percent);
  void flashFinishStateTransited();
  void errorOccurred(const QString& error);
  void verboseMessageLogged(const QString& message);

 protected:
  void timerEvent(QTimerEvent* event) override;

 private:
  void usbTick();

  QPointer<KelvoDevice> device;
  QByteArray image;
  QString serial;
  bool connected = false;
  int pollTimerId = 0;
};
