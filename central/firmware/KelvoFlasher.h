#pragma once
// One flashing run for one reader. Over the air it writes the signed image into the reader's external flash through
// the device's RPC, reporting progress; the manager then sends the reader into its bootloader, which installs it.
// The USB route (polling for the reader's bootloader and writing it page by page) is not available yet.

#include <QByteArray>
#include <QObject>
#include <QPointer>
#include <QString>

#include "devices/KelvoDevice.h"

class KelvoFlasher : public QObject {
  Q_OBJECT

 public:
  KelvoFlasher(KelvoDevice* device, const QByteArray& image, QObject* parent = nullptr);

  // The whole image written; false after reporting why not.
  bool writeOverTheAir();

 signals:
  void flashConnectStateTransited();
  void flashUpdateStateTransited(int percent);
  void flashFinishStateTransited();
  void errorOccurred(const QString& error);
  void verboseMessageLogged(const QString& message);

 private:
  QPointer<KelvoDevice> device;
  QByteArray image;
};
