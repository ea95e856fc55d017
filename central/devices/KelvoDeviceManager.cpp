// SPDX-License-Identifier: Apache-2.0
#include "devices/KelvoDeviceManager.h"

#include <QFile>
#include <QPointer>
#include <QTimer>
#include <QTimerEvent>

#include "ApplicationSettings.h"
#include "bridge/KelvoDongle.h"
#include "devices/DeviceDescriptorConverter.h"
#include "devices/DevicePipeClient.h"
#include "devices/DriverSockets.h"
#include "devices/InProcessReaders.h"
#include "devices/KelvoDeviceBle.h"
#include "devices/KelvoDeviceDongle.h"
#include "devices/KelvoDeviceUDA.h"
#include "firmware/FirmwareFolders.h"
#include "firmware/KelvoFlasher.h"
#include "firmware/KelvoUsbReaderFinder.h"
#include "security/CertificateAuthorizer.h"
#include "security/LoggedOnUser.h"
#include "trevalon/Device.h"
#include "trevalon/classic/DevicePipe.h"
#include "trevalon/firmware/FirmwareVersion.h"

namespace {

// The descriptor MAC of the reader model without transport that shows the pages without hardware.
const char kTestDeviceMac[] = "AABBCCDDEEFF";

// Driver sockets carry the address in lower case; the library may write it otherwise.
QString addressKey(const QString& address) {
  QString key = address.toLower();
  key.remove(QLatin1Char(':'));
  return key;
}

}  // namespace

KelvoDeviceManager::KelvoDeviceManager(QObject* parent, bool startInProcessReaders) : QObject(parent) {
  qRegisterMetaType<KelvoDevice*>("KelvoDevice*");
  connect(this, &KelvoDeviceManager::prepareFirmwareUpdateRequested, this,
          &KelvoDeviceManager::prepareFirmwareUpdateStarted);
  connect(this, &KelvoDeviceManager::updateFirmwareRequested, this, &KelvoDeviceManager::updateFirmwareStarted);
  updater = new FirmwareUpdater(this);
  connect(updater, &FirmwareUpdater::finished, this, &KelvoDeviceManager::packageCheckFinished);
  connect(updater, &FirmwareUpdater::errorOccurred, this, &KelvoDeviceManager::errorOccurred);
  connect(updater, &FirmwareUpdater::verboseMessageLogged, this, &KelvoDeviceManager::verboseMessageLogged);
  connect(updater, &FirmwareUpdater::debugMessageLogged, this, &KelvoDeviceManager::debugMessageLogged);

  startBridge();

  // The timers start in the thread the manager runs in: moving an object with active timers to a thread that
  // ends before it ran leaves Qt's record of them behind.
  QMetaObject::invokeMethod(this, &KelvoDeviceManager::startTimers, Qt::QueuedConnection);

  if (startInProcessReaders) {
    inProcessReaders = std::make_unique<InProcessReaders>();
    if (!inProcessReaders->start(DriverSockets::readerAddresses())) {
      // Reported at the first scan, once the log view listens.
      inProcessFailure = inProcessReaders->failure();
      inProcessReaders.reset();
    }
  }
}

// The Bridge controller on a thread of its own; the readers it announces become devices here.
void KelvoDeviceManager::startBridge() {
  bridgeThread.setObjectName(QStringLiteral("Bridge"));
  bridge = new KelvoDongle();
  bridge->moveToThread(&bridgeThread);
  connect(bridge, &KelvoDongle::errorOccurred, this, &KelvoDeviceManager::errorOccurred);
  connect(bridge, &KelvoDongle::debugMessageLogged, this, &KelvoDeviceManager::debugMessageLogged);
  connect(bridge, &KelvoDongle::verboseMessageLogged, this, &KelvoDeviceManager::verboseMessageLogged);
  connect(bridge, &KelvoDongle::deviceCreated, this, &KelvoDeviceManager::deviceDongleCreated);
  connect(bridge, &KelvoDongle::deviceRemoved, this, &KelvoDeviceManager::deviceDongleRemoved);
  connect(&bridgeThread, &QThread::finished, bridge, &QObject::deleteLater);
  bridgeThread.start();
}

void KelvoDeviceManager::startTimers() {
  startupTimerId = startTimer(0, Qt::CoarseTimer);
  scanTimerId = startTimer(kScanPeriodMs, Qt::CoarseTimer);
}

// The devices go first: each holds its library device, and the reader stacks must be gone before the radio.
KelvoDeviceManager::~KelvoDeviceManager() {
  if (scanTimerId != 0) killTimer(scanTimerId);
  // The controller is deleted in its thread as the thread ends.
  bridgeThread.quit();
  if (!bridgeThread.wait(kBridgeThreadWaitMs)) emit errorOccurred(QStringLiteral("The Bridge thread did not end"));
  {
    std::lock_guard<std::mutex> guard(lock);
    devices.clear();
  }
  for (KelvoDeviceUDA* device : findChildren<KelvoDeviceUDA*>(QString(), Qt::FindDirectChildrenOnly)) delete device;
  for (KelvoDeviceBle* device : findChildren<KelvoDeviceBle*>(QString(), Qt::FindDirectChildrenOnly)) delete device;
  inProcessReaders.reset();
}

void KelvoDeviceManager::timerEvent(QTimerEvent* event) {
  if (event->timerId() == startupTimerId) {
    killTimer(startupTimerId);
    startupTimerId = 0;
    readLoggedOnUser();
    if (!inProcessFailure.isEmpty()) {
      emit errorOccurred(QStringLiteral("In-process readers unavailable: %1").arg(inProcessFailure));
    }
  } else if (event->timerId() == scanTimerId) {
    scan();
  } else {
    QObject::timerEvent(event);
  }
}

void KelvoDeviceManager::readLoggedOnUser() {
  const QString name = LoggedOnUser::displayName();
  {
    std::lock_guard<std::mutex> guard(lock);
    userName = name;
  }
  if (!name.isEmpty()) {
    emit debugMessageLogged(QStringLiteral("Logged on username: %1").arg(name));
  } else {
    emit debugMessageLogged(QStringLiteral("Authorization disabled as logged on username unknown"));
  }
}

QString KelvoDeviceManager::loggedOnUserName() const {
  std::lock_guard<std::mutex> guard(lock);
  return userName;
}

// ---------------------------------------------------------------------------------------------------------------
// Scans

void KelvoDeviceManager::scan() {
  const QSet<QString> driverAddresses = DriverSockets::readerAddresses();
  scanDriverReaders(driverAddresses);
  scanInProcessReaders(driverAddresses);
}

void KelvoDeviceManager::scanDriverReaders(const QSet<QString>& addresses) {
  QList<KelvoDeviceBle*> gone = findChildren<KelvoDeviceBle*>(QString(), Qt::FindDirectChildrenOnly);
  for (const QString& address : addresses) {
    bool known = false;
    for (auto child = gone.begin(); child != gone.end(); ++child) {
      if ((*child)->pipeClient()->address().compare(address, Qt::CaseInsensitive) == 0) {
        gone.erase(child);
        known = true;
        break;
      }
    }
    if (!known) createPipeDevice(address);
  }
  for (KelvoDeviceBle* device : gone) dropDevice(device);
}

void KelvoDeviceManager::scanInProcessReaders(const QSet<QString>& driverAddresses) {
  QList<KelvoDeviceUDA*> gone = findChildren<KelvoDeviceUDA*>(QString(), Qt::FindDirectChildrenOnly);
  if (inProcessReaders) {
    inProcessReaders->holdBack(driverAddresses);
    for (const std::shared_ptr<trevalon::Device>& libraryDevice : inProcessReaders->devices()) {
      const QString address = QString::fromStdString(libraryDevice->getAddress());
      // The driver has this reader: its in-process device, if any, is left in `gone` and dropped below.
      if (driverAddresses.contains(addressKey(address))) continue;
      bool known = false;
      for (auto child = gone.begin(); child != gone.end(); ++child) {
        // A reader that left and came back between two scans is a new library device: the old one's stack is
        // gone, so its view goes and a new one is made.
        if ((*child)->libraryDevice() == libraryDevice) {
          gone.erase(child);
          known = true;
          break;
        }
      }
      if (!known) createInProcessDevice(libraryDevice);
    }
  }
  for (KelvoDeviceUDA* device : gone) dropDevice(device);
}

void KelvoDeviceManager::dropDevice(KelvoDevice* device) {
  if (device->isRemoved()) return;
  if (device->cardStatus() != KelvoDevice::kCardStatusNoCard) device->lockWorkstationOnCardRemoval();
  emit debugMessageLogged(QStringLiteral("Removed device %1").arg(device->displayName()));
  emit device->removeDeviceRequested();
}

// ---------------------------------------------------------------------------------------------------------------
// Device creation

void KelvoDeviceManager::createPipeDevice(const QString& address) {
  auto* client = new DevicePipeClient(address);
  connect(client, &PipeClient::errorOccurred, this, &KelvoDeviceManager::errorOccurred);
  connect(client, &PipeClient::debugMessageLogged, this, &KelvoDeviceManager::debugMessageLogged);
  QByteArray data;
  bool keyResetNeeded = false;
  if (!client->getDeviceDescriptor(data, keyResetNeeded)) {
    if (keyResetNeeded) emit resetKeyNeeded(address);
    delete client;
    return;
  }
  KelvoDevice::Descriptor descriptor;
  if (!convertDescriptor(data, descriptor, address)) {
    delete client;
    return;
  }
  connectDevice(new KelvoDeviceBle(client, descriptor, this));
}

void KelvoDeviceManager::createInProcessDevice(const std::shared_ptr<trevalon::Device>& libraryDevice) {
  std::vector<uint8_t> bytes;
  if (trevalon::classic::DevicePipe::InvokeGetDeviceDescriptor(libraryDevice, bytes) !=
      trevalon::classic::DevicePipe::kSuccess) {
    return;
  }
  const QByteArray data(reinterpret_cast<const char*>(bytes.data()), static_cast<int>(bytes.size()));
  KelvoDevice::Descriptor descriptor;
  if (!convertDescriptor(data, descriptor, QString::fromStdString(libraryDevice->getAddress()))) return;
  connectDevice(new KelvoDeviceUDA(libraryDevice, descriptor, this));
}

bool KelvoDeviceManager::convertDescriptor(const QByteArray& data, KelvoDevice::Descriptor& descriptor,
                                           const QString& address) {
  QList<DeviceDescriptorConverter::Entry> entries;
  const bool valid = DeviceDescriptorConverter::convert(data, descriptor, entries);
  for (const DeviceDescriptorConverter::Entry& entry : entries) {
    emit debugMessageLogged(QStringLiteral("DeviceDescriptor '%1': %2").arg(entry.first, entry.second));
  }
  if (!valid) {
    emit errorOccurred(QStringLiteral("Device with address %1 has invalid device descriptor").arg(address));
    return false;
  }
  if (descriptor.value(QStringLiteral("Serial")).isEmpty()) {
    emit errorOccurred(QStringLiteral("Device with address %1 has empty serial number").arg(address));
    return false;
  }
  return true;
}

void KelvoDeviceManager::connectDevice(KelvoDevice* device) {
  connect(device, &KelvoDevice::deviceInitialized, this, &KelvoDeviceManager::deviceInitialized);
  connect(device, &KelvoDevice::deviceRemoved, this, &KelvoDeviceManager::forgetDevice);
  connect(device, &KelvoDevice::deviceRemoved, this, &KelvoDeviceManager::deviceRemoved);
  connect(device, &KelvoDevice::deviceAuthorized, this, &KelvoDeviceManager::deviceAuthorized);
  connect(device, &KelvoDevice::errorOccurred, this, &KelvoDeviceManager::errorOccurred);
  connect(device, &KelvoDevice::debugMessageLogged, this, &KelvoDeviceManager::debugMessageLogged);
  connect(device, &KelvoDevice::verboseMessageLogged, this, &KelvoDeviceManager::verboseMessageLogged);
  connect(device, &KelvoDevice::authorizationStarted, this, &KelvoDeviceManager::authorizationStarted);
  connect(device, &KelvoDevice::deviceLogged, this, &KelvoDeviceManager::deviceLogged);
  connect(device, &KelvoDevice::deviceUpdateChecking, this, &KelvoDeviceManager::deviceUpdateChecking);
  {
    std::lock_guard<std::mutex> guard(lock);
    devices.append(device);
  }
  emit debugMessageLogged(QStringLiteral("Added device %1. Initializing...").arg(device->displayName()));
}

// A removed device is no longer offered to the window, which deletes it after its own removal handling.
void KelvoDeviceManager::forgetDevice(KelvoDevice* device) {
  std::lock_guard<std::mutex> guard(lock);
  devices.removeAll(device);
}

QList<KelvoDevice*> KelvoDeviceManager::devicesWhere(bool (KelvoDevice::*test)() const) const {
  std::lock_guard<std::mutex> guard(lock);
  QList<KelvoDevice*> found;
  for (KelvoDevice* device : devices) {
    if ((device->*test)()) found.append(device);
  }
  return found;
}

QList<KelvoDevice*> KelvoDeviceManager::initializedDevices() const { return devicesWhere(&KelvoDevice::isInitialized); }

QList<KelvoDevice*> KelvoDeviceManager::authorizedDevices() const { return devicesWhere(&KelvoDevice::isAuthorized); }

// ---------------------------------------------------------------------------------------------------------------
// Authorisation

// An unknown user turns authorisation off: every reader is the user's.
void KelvoDeviceManager::authorizationStarted(KelvoDevice* device) {
  const QString name = loggedOnUserName();
  if (name.isEmpty()) {
    device->setAuthorized(true);
    return;
  }
  emit debugMessageLogged(QStringLiteral("Authorizing device %1...").arg(device->displayName()));
  CertificateAuthorizer authorizer(
      ApplicationSettings::pkcs11Module(), [this](const QString& error) { emit errorOccurred(error); },
      [this](const QString& message) { emit verboseMessageLogged(message); });
  const bool authorized = authorizer.authorizeViaReader(device->address(), name);
  if (authorized) {
    emit debugMessageLogged(QStringLiteral("Successfully authorized device %1").arg(device->displayName()));
  } else {
    emit debugMessageLogged(QStringLiteral("Device %1 unauthorized").arg(device->displayName()));
  }
  device->setAuthorized(authorized);
}

// ---------------------------------------------------------------------------------------------------------------
// Workflows that arrive later (firmware, Bridge, PIN); the connections exist so that nothing else changes then.

void KelvoDeviceManager::kemServerAddressChanged(const QString& url) { Q_UNUSED(url); }

// ---------------------------------------------------------------------------------------------------------------
// Firmware offers

// A reader's descriptor as the catalogue reads it, with the reader's own log for the per-candidate messages.
trevalon::FirmwareFlasher::Reader KelvoDeviceManager::catalogueReaderOf(KelvoDevice* device) {
  trevalon::FirmwareFlasher::Reader reader;
  const KelvoDevice::Descriptor descriptor = device->descriptor();
  for (auto item = descriptor.constBegin(); item != descriptor.constEnd(); ++item) {
    reader.values[item.key().toStdString()] = item.value().toStdString();
  }
  reader.displayName = device->displayName().toStdString();
  QPointer<KelvoDevice> target(device);
  reader.debug = [target](const std::string& line) {
    if (target) emit target->debugMessageLogged(QString::fromStdString(line));
  };
  reader.error = [target](const std::string& line) {
    if (target) emit target->errorOccurred(QString::fromStdString(line));
  };
  return reader;
}

std::shared_ptr<trevalon::FirmwareFlasher> KelvoDeviceManager::catalogue(bool reload) {
  if (!firmwareCatalogue || reload) {
    auto fresh = std::make_shared<trevalon::FirmwareFlasher>();
    for (const QString& root : FirmwareFolders::catalogueRoots()) fresh->load(QFile::encodeName(root).toStdString());
    firmwareCatalogue = fresh;
  }
  return firmwareCatalogue;
}

// The test reader of --test-device has no firmware to check. A second-generation reader first asks the update
// server for a package; its catalogue match follows when that run ends, while this thread goes on with its work.
void KelvoDeviceManager::deviceUpdateChecking(KelvoDevice* device) {
  if (device->address() == QLatin1String(kTestDeviceMac)) return;
  if (updatingSerial == device->serial()) updatingSerial.clear();
  if (!device->isSecondGeneration()) {
    matchCatalogue(device, false);
    return;
  }
  if (FirmwareUpdater::configuredServerUrl().isEmpty()) {
    emit verboseMessageLogged(
        QStringLiteral("No update server configured; firmware for %1 is looked for in the local folders only")
            .arg(device->displayName()));
    matchCatalogue(device, true);
    return;
  }
  for (const QPointer<KelvoDevice>& waiting : waitingPackageChecks) {
    if (waiting == device) return;
  }
  if (packageCheckDevice == device) return;
  waitingPackageChecks.append(device);
  startNextPackageCheck();
}

void KelvoDeviceManager::matchCatalogue(KelvoDevice* device, bool reload) {
  const std::shared_ptr<trevalon::Firmware> update =
      catalogue(reload)->findUpdate(catalogueReaderOf(device), {"ble", "usb"});
  firmwareUpdatesChecked(device, update);
}

// The installed version as the feed compares it: a government build's "-GOV" is not part of the release number.
QString KelvoDeviceManager::feedVersionOf(KelvoDevice* device) {
  std::string installed =
      trevalon::FirmwareVersion::parse(device->descriptor().value(QStringLiteral("Firmware")).toStdString()).toString();
  const std::string government = "-GOV";
  if (installed.size() >= government.size() &&
      installed.compare(installed.size() - government.size(), government.size(), government) == 0) {
    installed.resize(installed.size() - government.size());
  }
  return QString::fromStdString(trevalon::FirmwareVersion::parse(installed).toString());
}

void KelvoDeviceManager::startNextPackageCheck() {
  while (!updater->isRunning() && !waitingPackageChecks.isEmpty()) {
    QPointer<KelvoDevice> next = waitingPackageChecks.takeFirst();
    if (!next) continue;
    packageCheckDevice = next;
    updater->checkForPackage(feedVersionOf(next), QStringLiteral("firmware/kelvo-firmware.xml"), next->displayName());
  }
}

// Whatever the outcome, the catalogue is read again: an earlier package may have been removed by this run.
void KelvoDeviceManager::packageCheckFinished(int outcome) {
  QPointer<KelvoDevice> device = packageCheckDevice;
  packageCheckDevice = nullptr;
  if (device) {
    if (outcome < 0) device->scheduleUpdateCheckRetry();
    matchCatalogue(device, true);
  }
  startNextPackageCheck();
}

void KelvoDeviceManager::firmwareUpdatesChecked(KelvoDevice* device,
                                                const std::shared_ptr<trevalon::Firmware>& firmware) {
  const QString installed = device->descriptor().value(QStringLiteral("Firmware"));
  if (!firmware) {
    emit debugMessageLogged(QStringLiteral("There is no firmware update available for device with serial %1 (%2)")
                                .arg(device->serial(), installed));
    return;
  }
  emit debugMessageLogged(QStringLiteral("There is a newer firmware (%2) available for device with serial %1 (%3)")
                              .arg(device->serial(), QString::fromStdString(firmware->version.toString()), installed));
  checkFirmwareUpdate(device, firmware);
}

// An image already being prepared for this reader is not offered again.
void KelvoDeviceManager::checkFirmwareUpdate(KelvoDevice* device, const std::shared_ptr<trevalon::Firmware>& firmware) {
  if (updatingSerial == device->serial() && pendingFirmware == firmware) return;
  device->setAvailableFirmware(firmware);
}

void KelvoDeviceManager::prepareFirmwareUpdateStarted(KelvoDevice* device) {
  updatingSerial = device->serial();
  pendingFirmware = device->availableFirmware();
  if (!pendingFirmware) return;
  flashOverBle = pendingFirmware->methodPattern->matchesWhole("ble");
  const std::vector<uint8_t>& image = pendingFirmware->data;
  firmwareReceived(QByteArray(reinterpret_cast<const char*>(image.data()), static_cast<int>(image.size())),
                   flashOverBle);
}

void KelvoDeviceManager::firmwareReceived(const QByteArray& data, bool overBle) {
  emit debugMessageLogged(QStringLiteral("Firmware received"));
  KelvoDevice* updating = updatingDevice();
  if (updating == nullptr) {
    emit errorOccurred(QStringLiteral("Updating device not found"));
    return;
  }
  firmwareData = data;
  flashOverBle = overBle;
  emit updateFirmwarePrepared(updating);
}

void KelvoDeviceManager::receiveFirmwareFailed() {
  emit errorOccurred(QStringLiteral("Failed to receive firmware file"));
}

void KelvoDeviceManager::firmwareFlashed() {}

KelvoDevice* KelvoDeviceManager::updatingDevice() const {
  std::lock_guard<std::mutex> guard(lock);
  for (KelvoDevice* device : devices) {
    if (device->serial() == updatingSerial) return device;
  }
  return nullptr;
}

// Over the air when the reader takes it and the image is meant for it; otherwise through the USB bootloader.
void KelvoDeviceManager::updateFirmwareStarted() {
  KelvoDevice* device = updatingDevice();
  const bool overTheAir = device != nullptr && device->supportsExternalFlash() && flashOverBle;
  if (!overTheAir) {
    auto* finder = new KelvoUsbReaderFinder(updatingSerial, this);
    connect(finder, &KelvoUsbReaderFinder::usbReaderFound, this, &KelvoDeviceManager::usbReaderFound);
    connect(finder, &KelvoUsbReaderFinder::usbReaderFound, finder, &QObject::deleteLater);
    connect(finder, &KelvoUsbReaderFinder::errorOccurred, this, &KelvoDeviceManager::errorOccurred);
    emit flashConnectStateTransited();
    return;
  }
  emit flashUpdateStateTransited(0);
  auto* flasher = new KelvoFlasher(device, firmwareData, this);
  connectFlasher(flasher);
  if (!flasher->writeOverTheAir()) {
    flasher->deleteLater();
    emit flashErrorStateTransited(QStringLiteral("Error"));
    return;
  }
  const QString firmwareBefore = device->descriptor().value(QStringLiteral("Firmware"));
  device->gotoBootloader(kBootFromExternalFlash);
  emit flasher->flashFinishStateTransited();
  watchRestart(device, firmwareBefore, kRestartPolls);
}

// The reader restarts into its bootloader, installs the image and comes back. Until its descriptor names other
// firmware it is asked again each second; then it is checked afresh, which ends the offer of what it now runs.
void KelvoDeviceManager::watchRestart(KelvoDevice* device, const QString& firmwareBefore, int pollsLeft) {
  QPointer<KelvoDevice> target(device);
  QTimer::singleShot(kRestartPollMs, this, [this, target, firmwareBefore, pollsLeft] {
    if (!target || target->isRemoved()) return;
    QByteArray data;
    KelvoDevice::Descriptor descriptor;
    QList<DeviceDescriptorConverter::Entry> entries;
    const bool read = target->readDescriptor(data) && DeviceDescriptorConverter::convert(data, descriptor, entries);
    const QString firmware = descriptor.value(QStringLiteral("Firmware"));
    if (read && !firmware.isEmpty() && firmware != firmwareBefore) {
      target->replaceDescriptor(descriptor);
      emit verboseMessageLogged(QStringLiteral("Device %1 runs firmware %2").arg(target->displayName(), firmware));
      deviceUpdateChecking(target);
    } else if (pollsLeft > 1) {
      watchRestart(target, firmwareBefore, pollsLeft - 1);
    } else {
      emit errorOccurred(QStringLiteral("Device %1 still runs firmware %2 after the update")
                             .arg(target->displayName(), firmwareBefore));
    }
  });
}

void KelvoDeviceManager::connectFlasher(KelvoFlasher* flasher) {
  connect(flasher, &KelvoFlasher::flashConnectStateTransited, this, &KelvoDeviceManager::flashConnectStateTransited);
  connect(flasher, &KelvoFlasher::flashUpdateStateTransited, this, &KelvoDeviceManager::flashUpdateStateTransited);
  connect(flasher, &KelvoFlasher::flashFinishStateTransited, this, &KelvoDeviceManager::flashFinishStateTransited);
  connect(flasher, &KelvoFlasher::flashFinishStateTransited, this, &KelvoDeviceManager::firmwareFlashed);
  connect(flasher, &KelvoFlasher::flashFinishStateTransited, flasher, &QObject::deleteLater);
  connect(flasher, &KelvoFlasher::errorOccurred, this, &KelvoDeviceManager::errorOccurred);
  connect(flasher, &KelvoFlasher::verboseMessageLogged, this, &KelvoDeviceManager::verboseMessageLogged);
}

// The reader is on the cable: it is sent into its bootloader, which the flasher then looks for and writes.
void KelvoDeviceManager::usbReaderFound() {
  KelvoDevice* device = updatingDevice();
  if (device == nullptr) {
    emit flashErrorStateTransited(tr("Device not found"));
    return;
  }
  const QString firmwareBefore = device->descriptor().value(QStringLiteral("Firmware"));
  device->gotoBootloader(kBootIntoUsbBootloader);
  emit debugMessageLogged(QStringLiteral("Forced bootloader mode"));
  auto* flasher = new KelvoFlasher(device, firmwareData, this);
  connectFlasher(flasher);
  // Once written, the bootloader restarts the reader into what it installed, as after the over-the-air route.
  QPointer<KelvoDevice> target(device);
  connect(flasher, &KelvoFlasher::flashFinishStateTransited, this, [this, target, firmwareBefore] {
    if (target) watchRestart(target, firmwareBefore, kRestartPolls);
  });
  flasher->startUsb();
}

void KelvoDeviceManager::deviceDongleCreated(const QByteArray& descriptorData) {
  KelvoDevice::Descriptor descriptor;
  QList<DeviceDescriptorConverter::Entry> entries;
  if (!DeviceDescriptorConverter::convert(descriptorData, descriptor, entries) ||
      descriptor.value(QStringLiteral("Serial")).isEmpty()) {
    emit errorOccurred(QStringLiteral("Invalid dongle device descriptor on creation"));
    return;
  }
  auto* device = new KelvoDeviceDongle(bridge, descriptor);
  device->moveToThread(&bridgeThread);
  connectDevice(device);
  bridgeDevices.append(device);
}

void KelvoDeviceManager::deviceDongleRemoved(const QByteArray& descriptorData) {
  KelvoDevice::Descriptor descriptor;
  QList<DeviceDescriptorConverter::Entry> entries;
  if (!DeviceDescriptorConverter::convert(descriptorData, descriptor, entries)) {
    emit errorOccurred(QStringLiteral("Invalid dongle device descriptor on removal"));
    return;
  }
  const QString serial = descriptor.value(QStringLiteral("Serial"));
  for (KelvoDevice* device : bridgeDevices) {
    if (device->serial() != serial) continue;
    dropDevice(device);
    bridgeDevices.removeAll(device);
    return;
  }
  emit errorOccurred(QStringLiteral("Device with serial %1 not found on removal").arg(serial));
}

// ---------------------------------------------------------------------------------------------------------------
// PIN change and unblock: the module's calls block this thread, never the window's.

void KelvoDeviceManager::pinChangeRequested(const QString& deviceName, const QString& currPin, const QString& newPin) {
  QString identifier;
  if (!findPinIdentifier(deviceName, identifier)) {
    emit pinSetFailed();
    return;
  }
  reportPinOutcome(pinSetter().change(identifier, currPin, newPin));
}

void KelvoDeviceManager::pinUnblockRequested(const QString& deviceName, const QString& puk, const QString& newPin) {
  QString identifier;
  if (!findPinIdentifier(deviceName, identifier)) {
    emit pinSetFailed();
    return;
  }
  reportPinOutcome(pinSetter().unblock(identifier, puk, newPin));
}

// The reader's address as its PKCS#11 slot description shows it (12 hex digits).
bool KelvoDeviceManager::findPinIdentifier(const QString& deviceName, QString& identifier) {
  bool found = false;
  {
    std::lock_guard<std::mutex> guard(lock);
    for (KelvoDevice* device : devices) {
      if (device->displayName() == deviceName) {
        identifier = device->address();
        found = true;
        break;
      }
    }
  }
  if (!found) {
    emit errorOccurred(QStringLiteral("Device %1 not found").arg(deviceName));
    return false;
  }
  identifier.remove(QLatin1Char(':'));
  identifier.remove(QLatin1Char('-'));
  return true;
}

PinSetter KelvoDeviceManager::pinSetter() {
  return PinSetter(ApplicationSettings::pkcs11Module(), [this](const QString& error) { emit errorOccurred(error); });
}

void KelvoDeviceManager::reportPinOutcome(PinSetter::Outcome outcome) {
  switch (outcome) {
    case PinSetter::Outcome::kSuccess:
      emit pinSetSuccess();
      break;
    case PinSetter::Outcome::kIncorrect:
      emit pinSetIncorrect();
      break;
    case PinSetter::Outcome::kBlocked:
      emit pinSetBlocked();
      break;
    case PinSetter::Outcome::kInvalid:
      emit pinSetInvalid();
      break;
    case PinSetter::Outcome::kFailed:
      emit pinSetFailed();
      break;
  }
}

void KelvoDeviceManager::deviceLogged(KelvoDevice* device) { Q_UNUSED(device); }
