// SPDX-License-Identifier: Apache-2.0
#pragma once
// Finds the readers that are present, makes one application device for each and notices when they go. Two
// sources run side by side: the readers the reader driver serves (one socket each in the runtime directory) and
// the readers this process serves itself through the reader library. A reader the driver serves is never also
// opened in process: two hosts on one reader would desynchronise its link encryption's counter.
//
// The main window creates the manager without parent and moves it to a thread of its own. The devices of both
// sources are its Qt children and live in that thread; the window sees them only through the queued signals and
// the device lists below, which are safe to read from any thread.

#include <QByteArray>
#include <QList>
#include <QObject>
#include <QPointer>
#include <QSet>
#include <QString>
#include <QThread>
#include <memory>
#include <mutex>

#include "devices/KelvoDevice.h"
#include "firmware/FirmwareUpdater.h"
#include "security/PinSetter.h"
#include "trevalon/firmware/FirmwareFlasher.h"

class DevicePipeClient;
class InProcessReaders;
class KelvoFlasher;
class KelvoDongle;

namespace trevalon {
class Device;
class Firmware;
}  // namespace trevalon

class KelvoDeviceManager : public QObject {
  Q_OBJECT

 public:
  static constexpr int kScanPeriodMs = 2000;
  static constexpr int kBridgeThreadWaitMs = 2000;
  // GotoBotloader after an over-the-air write: the bootloader installs the image from the external flash.
  static constexpr quint8 kBootFromExternalFlash = 1;
  // GotoBotloader before USB flashing: the reader restarts into its USB bootloader.
  static constexpr quint8 kBootIntoUsbBootloader = 0;
  // How long a flashed reader is waited for to come back with its new firmware.
  static constexpr int kRestartPollMs = 1000;
  static constexpr int kRestartPolls = 60;

  // `startInProcessReaders` false leaves the library's source off (for tests of the driver's source alone).
  explicit KelvoDeviceManager(QObject* parent = nullptr, bool startInProcessReaders = true);
  ~KelvoDeviceManager() override;

  QList<KelvoDevice*> initializedDevices() const;
  QList<KelvoDevice*> authorizedDevices() const;
  // The Bridge controller, on the Bridge thread.
  KelvoDongle* dongle() const { return bridge; }
  QString loggedOnUserName() const;

 signals:
  void deviceInitialized(KelvoDevice* device);
  void deviceRemoved(KelvoDevice* device);
  void deviceAuthorized(KelvoDevice* device);
  void errorOccurred(QString error);
  void debugMessageLogged(QString message);
  void verboseMessageLogged(QString message);
  void resetKeyNeeded(QString ieee);
  void prepareFirmwareUpdateRequested(KelvoDevice* device);
  void updateFirmwarePrepared(KelvoDevice* device);
  void updateFirmwareRequested();
  void flashConnectStateTransited();
  void flashUpdateStateTransited(int percent);
  void flashFinishStateTransited();
  void flashErrorStateTransited(QString error);
  void pinSetSuccess();
  void pinSetIncorrect();
  void pinSetFailed();
  void pinSetBlocked();
  void pinSetInvalid();

 public slots:
  void kemServerAddressChanged(const QString& url);
  // One scan of both sources; the scan timer calls it every two seconds.
  void scan();
  // Each ends in exactly one of the pinSet signals.
  void pinChangeRequested(const QString& deviceName, const QString& currPin, const QString& newPin);
  void pinUnblockRequested(const QString& deviceName, const QString& puk, const QString& newPin);
  // The firmware check of one reader: the catalogue matched against it, a newer image offered on it.
  void deviceUpdateChecking(KelvoDevice* device);
  // The image for the reader being updated, and the failure to get one.
  void firmwareReceived(const QByteArray& data, bool overBle);
  void receiveFirmwareFailed();

 private slots:
  void authorizationStarted(KelvoDevice* device);
  void firmwareUpdatesChecked(KelvoDevice* device, const std::shared_ptr<trevalon::Firmware>& firmware);
  void checkFirmwareUpdate(KelvoDevice* device, const std::shared_ptr<trevalon::Firmware>& firmware);
  void firmwareFlashed();
  void prepareFirmwareUpdateStarted(KelvoDevice* device);
  void updateFirmwareStarted();
  void usbReaderFound();
  void deviceDongleCreated(const QByteArray& descriptorData);
  void deviceDongleRemoved(const QByteArray& descriptorData);
  void deviceLogged(KelvoDevice* device);

 public:
  // Lives in the manager's thread; the window shows its offers.
  FirmwareUpdater* firmwareUpdater() const { return updater; }
  // The reader's firmware as the update feed compares it ("3.1.0-GOV" is asked for as "3.1.0").
  static QString feedVersionOf(KelvoDevice* device);

 protected:
  void timerEvent(QTimerEvent* event) override;

 private:
  void startTimers();
  void startBridge();
  void readLoggedOnUser();
  void scanDriverReaders(const QSet<QString>& addresses);
  void scanInProcessReaders(const QSet<QString>& driverAddresses);
  void createPipeDevice(const QString& address);
  void createInProcessDevice(const std::shared_ptr<trevalon::Device>& libraryDevice);
  bool convertDescriptor(const QByteArray& data, KelvoDevice::Descriptor& descriptor, const QString& address);
  void connectDevice(KelvoDevice* device);
  void dropDevice(KelvoDevice* device);
  void forgetDevice(KelvoDevice* device);
  QList<KelvoDevice*> devicesWhere(bool (KelvoDevice::*test)() const) const;
  bool findPinIdentifier(const QString& deviceName, QString& identifier);
  PinSetter pinSetter();
  void reportPinOutcome(PinSetter::Outcome outcome);
  std::shared_ptr<trevalon::FirmwareFlasher> catalogue(bool reload);
  static trevalon::FirmwareFlasher::Reader catalogueReaderOf(KelvoDevice* device);
  void matchCatalogue(KelvoDevice* device, bool reload);
  void startNextPackageCheck();
  KelvoDevice* updatingDevice() const;
  void connectFlasher(KelvoFlasher* flasher);
  void watchRestart(KelvoDevice* device, const QString& firmwareBefore, int pollsLeft);
  void packageCheckFinished(int outcome);

  std::unique_ptr<InProcessReaders> inProcessReaders;
  int startupTimerId = 0;
  int scanTimerId = 0;

  mutable std::mutex lock;
  QList<KelvoDevice*> devices;
  // The Bridge: its controller and the readers behind it live in the Bridge thread; the list is the manager's own.
  QThread bridgeThread;
  KelvoDongle* bridge = nullptr;
  QList<KelvoDevice*> bridgeDevices;
  QString userName;
  QString inProcessFailure;

  // Firmware: the catalogue (built on first use, rebuilt after a download) and the update being prepared. Only
  // the manager's thread uses them.
  std::shared_ptr<trevalon::FirmwareFlasher> firmwareCatalogue;
  QString updatingSerial;
  std::shared_ptr<trevalon::Firmware> pendingFirmware;
  QByteArray firmwareData;
  bool flashOverBle = false;

  // The update server is asked for one reader at a time; the others wait in order of their checks.
  FirmwareUpdater* updater = nullptr;
  QPointer<KelvoDevice> packageCheckDevice;
  QList<QPointer<KelvoDevice>> waitingPackageChecks;
};
