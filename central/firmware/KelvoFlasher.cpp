// SPDX-License-Identifier: Apache-2.0
#include "firmware/KelvoFlasher.h"

#include <QThread>
#include <QTimerEvent>

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "trevalon/firmware/BootloaderRoutine.h"
#include "trevalon/firmware/FirmwareImage.h"
#include "trevalon/firmware/OverTheAirWriter.h"
#include "trevalon/usb/ReaderUsbIds.h"
#include "trevalon/usb/UsbBus.h"

KelvoFlasher::KelvoFlasher(KelvoDevice* device, const QByteArray& image, QObject* parent)
    : QObject(parent), device(device), image(image), serial(device->serial()) {}

void KelvoFlasher::startUsb() {
  if (device && device->supportsExternalFlash()) return;
  pollTimerId = startTimer(kPollMs, Qt::CoarseTimer);
}

void KelvoFlasher::timerEvent(QTimerEvent* event) {
  if (event->timerId() == pollTimerId) usbTick();
}

// Everything here blocks the manager's thread while it lasts, as the bootloader's writes are synchronous.
void KelvoFlasher::usbTick() {
  const trevalon::FirmwareImage::Generation generation = trevalon::FirmwareImage::generationOf(serial.toStdString());
  if (generation == trevalon::FirmwareImage::Generation::unknown) {
    emit errorOccurred(QStringLiteral("Unknown Device type to flash!"));
    return;
  }
  trevalon::usb::UsbBus bus;
  std::string error;
  std::unique_ptr<trevalon::usb::UsbBulkPipe> pipe =
      bus.openBulkOut(trevalon::usb::ReaderUsbIds::bootloader(generation), serial.toStdString(), error);
  if (!pipe) {
    if (connected) {
      connected = false;
      emit flashConnectStateTransited();
    }
    return;
  }
  if (!connected) {
    connected = true;
    emit flashUpdateStateTransited(0);
  }
  trevalon::BootloaderRoutine routine(
      *pipe, {[this](int percent) { emit flashUpdateStateTransited(percent); },
              [this](const std::string& message) { emit errorOccurred(QString::fromStdString(message)); },
              [](int milliseconds) { QThread::msleep(static_cast<unsigned long>(milliseconds)); }});
  const std::vector<uint8_t> bytes(image.begin(), image.end());
  if (!routine.run(generation, bytes)) return;
  killTimer(pollTimerId);
  pollTimerId = 0;
  emit flashFinishStateTransited();
}

bool KelvoFlasher::writeOverTheAir() {
  // The device may go while the pieces are written: each exchange asks for it afresh.
  const trevalon::OverTheAirWriter::Exchange exchange = [this](const std::vector<uint8_t>& request) {
    return device ? device->exchangeRpc(request) : std::nullopt;
  };
  const std::vector<uint8_t> bytes(image.begin(), image.end());
  return trevalon::OverTheAirWriter::write(
      bytes, exchange,
      {[this](int percent) { emit flashUpdateStateTransited(percent); },
       [this](const std::string& message) { emit errorOccurred(QString::fromStdString(message)); }});
}
