// SPDX-License-Identifier: Apache-2.0
// The device manager against readers the driver serves (sockets in the runtime directory) and readers on the
// simulated radio served in process: devices come and go with their readers, one device per reader.
#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QSignalSpy>
#include <QTcpServer>
#include <QTemporaryDir>
#include <QTest>
#include <memory>

#include "ApplicationSettings.h"
#include "FakeDriverReader.h"
#include "LogCapture.h"
#include "SettingsFixture.h"
#include "devices/KelvoDevice.h"
#include "devices/KelvoDeviceBle.h"
#include "devices/KelvoDeviceManager.h"
#include "devices/KelvoDeviceUDA.h"
#include "security/LoggedOnUser.h"
#include "trevalon/Device.h"

namespace {

constexpr int kTwoPollsMs = 2 * KelvoDevice::kStatePollMs + 1500;

QByteArray entry(const QByteArray& key, const QByteArray& value) {
  QByteArray item;
  item.append(static_cast<char>(key.size() + value.size() + 2));
  item.append(static_cast<char>(key.size()));
  item.append(key);
  item.append(static_cast<char>(value.size()));
  item.append(value);
  return item;
}

QByteArray descriptorOf(const QByteArray& serial) {
  const QByteArray entries = entry("Serial", serial) + entry("Firmware", "2.1.0");
  return QByteArray(1, static_cast<char>(entries.size())) + entries;
}

QStringList textsOf(const QSignalSpy& spy) {
  QStringList texts;
  for (const QList<QVariant>& arguments : spy) texts.append(arguments.at(0).toString());
  return texts;
}

class KelvoDeviceManagerTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(runtime.isValid());
    qputenv("TREVALON_RUNTIME_DIR", QFile::encodeName(runtime.path()));
    qunsetenv("KELVO_BLE_BACKEND");
    qunsetenv("KELVO_SIM_SCENARIO");
  }
  void TearDown() override {
    manager.reset();
    qunsetenv("KELVO_BLE_BACKEND");
    qunsetenv("KELVO_SIM_SCENARIO");
  }

  void startManager(bool inProcess = false) {
    manager = std::make_unique<KelvoDeviceManager>(nullptr, inProcess);
    errors = std::make_unique<QSignalSpy>(manager.get(), &KelvoDeviceManager::errorOccurred);
    log = std::make_unique<QSignalSpy>(manager.get(), &KelvoDeviceManager::debugMessageLogged);
    initialized = std::make_unique<QSignalSpy>(manager.get(), &KelvoDeviceManager::deviceInitialized);
    removed = std::make_unique<QSignalSpy>(manager.get(), &KelvoDeviceManager::deviceRemoved);
  }

  std::unique_ptr<FakeDriverReader> reader(const QString& address, const QByteArray& serial) {
    auto fake = std::make_unique<FakeDriverReader>(runtime.path(), address, descriptorOf(serial));
    EXPECT_TRUE(fake->isListening());
    return fake;
  }

  template <typename T>
  QList<T*> devicesOfKind() const {
    return manager->findChildren<T*>(QString(), Qt::FindDirectChildrenOnly);
  }

  QTemporaryDir runtime;
  std::unique_ptr<KelvoDeviceManager> manager;
  std::unique_ptr<QSignalSpy> errors;
  std::unique_ptr<QSignalSpy> log;
  std::unique_ptr<QSignalSpy> initialized;
  std::unique_ptr<QSignalSpy> removed;
};

TEST_F(KelvoDeviceManagerTest, DriverReaderIsFoundDroppedAndFoundAgainAsItsSocketComesAndGoes) {
  startManager();
  auto fake = reader("d0a1b2c3d4e5", "K2000000042");
  manager->scan();
  ASSERT_EQ(devicesOfKind<KelvoDeviceBle>().size(), 1);
  KelvoDevice* first = devicesOfKind<KelvoDeviceBle>().first();
  EXPECT_TRUE(textsOf(*log).contains("DeviceDescriptor 'Serial': K2000000042"));
  EXPECT_TRUE(textsOf(*log).contains("Added device Kelvo K2000000042. Initializing..."));
  ASSERT_TRUE(QTest::qWaitFor([&] { return initialized->count() == 1; }, kTwoPollsMs));
  EXPECT_EQ(initialized->at(0).at(0).value<KelvoDevice*>(), first);
  EXPECT_EQ(manager->initializedDevices(), QList<KelvoDevice*>{first});

  manager->scan();
  EXPECT_EQ(devicesOfKind<KelvoDeviceBle>().size(), 1) << "a known reader costs only the listing";
  EXPECT_EQ(fake->count(1), 1) << "the descriptor is read once per device";

  fake.reset();
  manager->scan();
  ASSERT_EQ(removed->count(), 1);
  EXPECT_TRUE(textsOf(*log).contains("Removed device Kelvo K2000000042"));
  EXPECT_TRUE(manager->initializedDevices().isEmpty());

  // The window deletes a removed device; the reader's return makes a new one that initialises anew.
  delete first;
  fake = reader("d0a1b2c3d4e5", "K2000000042");
  manager->scan();
  ASSERT_EQ(devicesOfKind<KelvoDeviceBle>().size(), 1);
  EXPECT_FALSE(devicesOfKind<KelvoDeviceBle>().first()->isInitialized()) << "a new device, not the old one";
  ASSERT_TRUE(QTest::qWaitFor([&] { return initialized->count() == 2; }, kTwoPollsMs));
}

TEST_F(KelvoDeviceManagerTest, CardChangeAtTheReaderReachesTheDeviceWithinTwoPolls) {
  startManager();
  auto fake = reader("d0a1b2c3d4e5", "K2000000042");
  manager->scan();
  ASSERT_TRUE(QTest::qWaitFor([&] { return initialized->count() == 1; }, kTwoPollsMs));
  KelvoDevice* device = initialized->at(0).at(0).value<KelvoDevice*>();
  QSignalSpy cardChanges(device, &KelvoDevice::cardStatusChanged);
  fake->setCard(6);
  ASSERT_TRUE(QTest::qWaitFor([&] { return cardChanges.count() == 1; }, kTwoPollsMs));
  EXPECT_EQ(cardChanges.at(0).at(0).toInt(), 6);
  EXPECT_EQ(device->cardStatus(), 6);
}

TEST_F(KelvoDeviceManagerTest, SettingSentToADriverReaderReachesItsSocketAndIsStored) {
  startManager();
  auto fake = reader("d0a1b2c3d4e5", "K2000000042");
  manager->scan();
  ASSERT_TRUE(QTest::qWaitFor([&] { return initialized->count() == 1; }, kTwoPollsMs));
  KelvoDevice* device = initialized->at(0).at(0).value<KelvoDevice*>();
  QSignalSpy buzzer(device, &KelvoDevice::buzzerEnabledChanged);
  emit device->sendSettingRequested(6, 1);
  EXPECT_EQ(buzzer.count(), 1);
  EXPECT_EQ(device->buzzerEnabled(), 1);
  const QList<QByteArray> requests = fake->requests();
  EXPECT_TRUE(requests.contains(QByteArray("\x03\x06\x01", 3)));
  EXPECT_EQ(device->driverVersion(), "1.0.0-test");
}

TEST_F(KelvoDeviceManagerTest, ReaderWhoseKeysMustBeResetIsReportedAtEveryScanAndNotAdded) {
  startManager();
  auto fake = reader("d0a1b2c3d4e5", "K2000000042");
  fake->answerDescriptorWithStatus(9);
  QSignalSpy resets(manager.get(), &KelvoDeviceManager::resetKeyNeeded);
  manager->scan();
  manager->scan();
  ASSERT_EQ(resets.count(), 2);
  EXPECT_EQ(resets.at(0).at(0).toString(), "d0a1b2c3d4e5");
  EXPECT_TRUE(devicesOfKind<KelvoDeviceBle>().isEmpty());
}

TEST_F(KelvoDeviceManagerTest, DescriptorsWithoutUsableSerialAreRefusedWithTheirReason) {
  startManager();
  FakeDriverReader invalid(runtime.path(), "000000000001", QByteArray("\x05\x00\x00\x00", 4));
  FakeDriverReader noSerial(runtime.path(), "000000000002", QByteArray("\x03\x00\x00\x00", 4));
  FakeDriverReader emptyGroup(runtime.path(), "000000000003", QByteArray(1, '\0'));
  manager->scan();
  EXPECT_TRUE(devicesOfKind<KelvoDeviceBle>().isEmpty());
  const QStringList texts = textsOf(*errors);
  EXPECT_TRUE(texts.contains("Device with address 000000000001 has invalid device descriptor"));
  EXPECT_TRUE(texts.contains("Device with address 000000000002 has empty serial number"));
  EXPECT_TRUE(texts.contains("Device with address 000000000003 has empty serial number"));
}

TEST_F(KelvoDeviceManagerTest, OtherFilesInTheRuntimeDirectoryAreNoReaders) {
  startManager();
  QFile plain(runtime.filePath("omnivex#ipc#ver6#kelvo_d0a1b2c3d4e6"));
  ASSERT_TRUE(plain.open(QIODevice::WriteOnly));
  FakeDriverReader otherVersion(runtime.path(), "zz", QByteArray());
  manager->scan();
  EXPECT_TRUE(devicesOfKind<KelvoDeviceBle>().isEmpty());
  EXPECT_TRUE(errors->isEmpty());
}

TEST_F(KelvoDeviceManagerTest, DroppedDriverReaderWithCardInIsDroppedOnce) {
  startManager();
  auto fake = reader("d0a1b2c3d4e5", "K2000000042");
  fake->setCard(6);
  manager->scan();
  ASSERT_TRUE(QTest::qWaitFor([&] { return initialized->count() == 1; }, kTwoPollsMs));
  fake.reset();
  manager->scan();
  manager->scan();
  EXPECT_EQ(removed->count(), 1);
  EXPECT_EQ(textsOf(*log).count("Removed device Kelvo K2000000042"), 1);
}

// The logged-on user's name decides: unknown turns authorisation off, a known name cannot yet be matched to a
// card, so the reader stays unauthorised.
TEST_F(KelvoDeviceManagerTest, ReadyCardAsksForAuthorisationWithTheLoggedOnUser) {
  startManager();
  ASSERT_TRUE(QTest::qWaitFor([&] { return log->count() >= 1; }, 2000));
  const QString user = LoggedOnUser::displayName();
  EXPECT_EQ(manager->loggedOnUserName(), user);
  EXPECT_EQ(log->at(0).at(0).toString(), user.isEmpty()
                                             ? QStringLiteral("Authorization disabled as logged on username unknown")
                                             : QStringLiteral("Logged on username: %1").arg(user));

  auto fake = reader("d0a1b2c3d4e5", "K2000000042");
  fake->setCard(6);
  QSignalSpy authorized(manager.get(), &KelvoDeviceManager::deviceAuthorized);
  manager->scan();
  ASSERT_TRUE(QTest::qWaitFor([&] { return initialized->count() == 1; }, kTwoPollsMs));
  KelvoDevice* device = initialized->at(0).at(0).value<KelvoDevice*>();
  if (user.isEmpty()) {
    EXPECT_EQ(authorized.count(), 1);
    EXPECT_EQ(manager->authorizedDevices(), QList<KelvoDevice*>{device});
  } else {
    EXPECT_TRUE(textsOf(*log).contains("Authorizing device Kelvo K2000000042..."));
    EXPECT_TRUE(textsOf(*log).contains("Device Kelvo K2000000042 unauthorized"));
    EXPECT_EQ(authorized.count(), 0);
    EXPECT_TRUE(manager->authorizedDevices().isEmpty());
    EXPECT_TRUE(device->isAuthorizationFailed());
  }
}

TEST(LoggedOnUserTest, FullNameIsTheGecosFieldBeforeItsFirstComma) {
  EXPECT_EQ(LoggedOnUser::fullNameOf("Ada Lovelace,Room 1,,"), "Ada Lovelace");
  EXPECT_EQ(LoggedOnUser::fullNameOf("root"), "root");
  EXPECT_EQ(LoggedOnUser::fullNameOf(",,,"), "");
  EXPECT_EQ(LoggedOnUser::fullNameOf(""), "");
  EXPECT_EQ(LoggedOnUser::fullNameOf(nullptr), "");
}

// ---------------------------------------------------------------------------------------------------------------
// In process, on the simulated radio

const char kScenario[] = R"({
  "devices": [
    { "family": "kelvo", "address": "001a7dda7113", "name": "Kelvo 5123456789", "generation": 1,
      "service": "6803", "descriptor": { "Serial": "5123456789" }, "battery": 80, "usb": 0,
      "settings": { "1": 2, "2": 1, "3": 0, "4": 1, "6": 1, "8": -70 } }
  ]
})";

class InProcessManagerTest : public KelvoDeviceManagerTest {
 protected:
  void SetUp() override {
    KelvoDeviceManagerTest::SetUp();
    QFile file(scenarioDirectory.filePath("scenario.json"));
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(kScenario);
    file.close();
    qputenv("KELVO_BLE_BACKEND", "sim");
    qputenv("KELVO_SIM_SCENARIO", QFile::encodeName(file.fileName()));
    // Link keys of in-process readers must be stored before a reader is told to keep them.
    librarySettings = std::make_unique<kelvo::test::SettingsFixture>();
  }
  void TearDown() override {
    librarySettings.reset();
    KelvoDeviceManagerTest::TearDown();
  }

  // The provider finds readers on its own thread; scanning until then is what the scan timer does.
  bool scanUntil(const std::function<bool()>& done) {
    return QTest::qWaitFor(
        [&] {
          manager->scan();
          return done();
        },
        10000);
  }

  QTemporaryDir scenarioDirectory;
  std::unique_ptr<kelvo::test::SettingsFixture> librarySettings;
};

TEST_F(InProcessManagerTest, ReaderOnTheRadioBecomesAnInProcessDeviceThatInitialises) {
  startManager(true);
  ASSERT_TRUE(scanUntil([&] { return devicesOfKind<KelvoDeviceUDA>().size() == 1; }));
  KelvoDeviceUDA* device = devicesOfKind<KelvoDeviceUDA>().first();
  EXPECT_EQ(device->serial(), "5123456789");
  EXPECT_EQ(device->libraryAddress(), "001a7dda7113");
  ASSERT_TRUE(QTest::qWaitFor([&] { return initialized->count() == 1; }, kTwoPollsMs));
  EXPECT_EQ(device->batteryLevel(), 80);
  EXPECT_EQ(device->signalStrength(), 2);
  EXPECT_EQ(device->coverageRssiMinValue(), -70);
  EXPECT_TRUE(device->hasTransport());
}

// Not even a reader stack is built for it: building one connects to the reader to look at its services.
TEST_F(InProcessManagerTest, ReaderTheDriverServesIsNotAlsoOpenedInProcess) {
  kelvo::test::LogCapture library;
  auto fake = reader("001a7dda7113", "5123456789");
  startManager(true);
  QTest::qWait(1500);
  for (int scan = 0; scan < 3; ++scan) manager->scan();
  EXPECT_EQ(devicesOfKind<KelvoDeviceBle>().size(), 1);
  EXPECT_TRUE(devicesOfKind<KelvoDeviceUDA>().isEmpty());
  EXPECT_EQ(library.count("Kelvo service was found"), 0u);

  // When the driver lets the reader go, this process takes it over.
  fake.reset();
  ASSERT_TRUE(scanUntil([&] { return devicesOfKind<KelvoDeviceUDA>().size() == 1; }));
  EXPECT_EQ(removed->count(), 1);
  EXPECT_GE(library.count("Kelvo service was found"), 1u);
}

// The driver takes over a reader this process serves: the in-process device and its reader stack go.
TEST_F(InProcessManagerTest, ReaderTheDriverTakesOverLeavesThisProcess) {
  startManager(true);
  ASSERT_TRUE(scanUntil([&] { return devicesOfKind<KelvoDeviceUDA>().size() == 1; }));
  std::weak_ptr<trevalon::Device> stack = devicesOfKind<KelvoDeviceUDA>().first()->libraryDevice();
  auto fake = reader("001a7dda7113", "5123456789");
  manager->scan();
  EXPECT_EQ(removed->count(), 1);
  EXPECT_EQ(devicesOfKind<KelvoDeviceBle>().size(), 1);
  delete devicesOfKind<KelvoDeviceUDA>().first();  // as the window does with a removed device
  // Library workers may hold the stack for the last moments of a notification.
  EXPECT_TRUE(QTest::qWaitFor([&] { return stack.expired(); }, 2000)) << "the provider let the reader's stack go";
}

// ---------------------------------------------------------------------------------------------------------------
// Firmware offers

class FirmwareOfferTest : public KelvoDeviceManagerTest {
 protected:
  void SetUp() override {
    KelvoDeviceManagerTest::SetUp();
    ASSERT_TRUE(cache.isValid());
    previousCache = qgetenv("XDG_CACHE_HOME");
    qputenv("XDG_CACHE_HOME", QFile::encodeName(cache.path()));
    folder = cache.path() + "/kelvo-central/Firmware";
    QDir().mkpath(folder);
  }
  void TearDown() override {
    KelvoDeviceManagerTest::TearDown();
    qputenv("XDG_CACHE_HOME", previousCache);
    ApplicationSettings::setUpdateServerUrl(QString());
  }
  void addImage(const QString& id, const QString& version, const QString& serialPattern) {
    QFile descriptor(folder + "/" + id + ".xml");
    ASSERT_TRUE(descriptor.open(QIODevice::WriteOnly));
    descriptor.write(QStringLiteral("<firmware version=\"2\"><name>Kelvo %1</name><version>%1</version>"
                                    "<date>01.02.2026 10:30</date><serial>%2</serial><method>ble</method>"
                                    "<description>Faster</description></firmware>")
                         .arg(version, serialPattern)
                         .toUtf8());
    QFile image(folder + "/" + id + ".bin");
    ASSERT_TRUE(image.open(QIODevice::WriteOnly));
    image.write("IMAGE");
  }
  KelvoDevice* driverDevice(const QString& address, const QByteArray& serial) {
    fakes.push_back(reader(address, serial));
    manager->scan();
    for (KelvoDevice* device : devicesOfKind<KelvoDeviceBle>()) {
      if (device->serial() == QString::fromLatin1(serial)) return device;
    }
    return nullptr;
  }

  QTemporaryDir cache;
  QByteArray previousCache;
  QString folder;
  std::vector<std::unique_ptr<FakeDriverReader>> fakes;
};

TEST_F(FirmwareOfferTest, ANewerImageIsOfferedOnTheReaderAndPreparedForIt) {
  addImage("k1-220", "2.2.0", "5.*");
  addImage("k2-230", "2.3.0", "K2.*");
  startManager();
  KelvoDevice* device = driverDevice("d0a1b2c3d4e5", "5123456789");
  ASSERT_NE(device, nullptr);
  QSignalSpy outdated(device, &KelvoDevice::deviceOutdated);
  QSignalSpy candidates(device, &KelvoDevice::debugMessageLogged);
  QSignalSpy prepared(manager.get(), &KelvoDeviceManager::updateFirmwarePrepared);

  manager->deviceUpdateChecking(device);
  EXPECT_TRUE(
      textsOf(*log).contains("There is a newer firmware (2.2.0) available for device with serial 5123456789 "
                             "(2.1.0)"))
      << textsOf(*log).join('\n').toStdString();
  EXPECT_TRUE(textsOf(candidates).contains("Kelvo 2.3.0 (k2-230): could not match serial 5123456789"));
  ASSERT_EQ(outdated.count(), 1);
  ASSERT_TRUE(device->availableFirmware());
  EXPECT_EQ(device->availableFirmware()->id, "k1-220");

  emit manager->prepareFirmwareUpdateRequested(device);
  ASSERT_EQ(prepared.count(), 1);
  EXPECT_EQ(prepared.at(0).at(0).value<KelvoDevice*>(), device);
  EXPECT_TRUE(textsOf(*log).contains("Firmware received"));

  // A new check of the reader starts afresh: the update being prepared is forgotten and the offer comes again.
  manager->deviceUpdateChecking(device);
  EXPECT_EQ(outdated.count(), 2);
}

TEST_F(FirmwareOfferTest, NothingNewerNothingOfferedAndTheTestReaderIsNeverChecked) {
  addImage("k1-200", "2.0.0", ".*");
  startManager();
  KelvoDevice* device = driverDevice("d0a1b2c3d4e5", "5123456789");
  ASSERT_NE(device, nullptr);
  QSignalSpy outdated(device, &KelvoDevice::deviceOutdated);
  manager->deviceUpdateChecking(device);
  EXPECT_TRUE(
      textsOf(*log).contains("There is no firmware update available for device with serial 5123456789 "
                             "(2.1.0)"));
  EXPECT_EQ(outdated.count(), 0);

  KelvoDevice::Descriptor descriptor;
  descriptor.insert("Serial", "4711");
  descriptor.insert("MAC", "AABBCCDDEEFF");
  descriptor.insert("Firmware", "1.0.0");
  KelvoDevice testReader(descriptor);
  const int before = log->count();
  manager->deviceUpdateChecking(&testReader);
  EXPECT_EQ(log->count(), before);
}

// Without an update server a second-generation reader is matched against the local folders only.
TEST_F(FirmwareOfferTest, ASecondGenerationReaderWithoutUpdateServerIsMatchedLocally) {
  addImage("k2-230", "2.3.0", "K2.*");
  startManager();
  QSignalSpy verbose(manager.get(), &KelvoDeviceManager::verboseMessageLogged);
  KelvoDevice* device = driverDevice("d0a1b2c3d4e5", "K2000000042");
  ASSERT_NE(device, nullptr);
  manager->deviceUpdateChecking(device);
  EXPECT_EQ(textsOf(verbose).filter("No update server configured").size(), 1);
  ASSERT_TRUE(device->availableFirmware());
  EXPECT_EQ(device->availableFirmware()->id, "k2-230");
}

TEST(FirmwareFeedVersion, AGovernmentBuildIsAskedForByItsReleaseNumber) {
  const struct {
    const char* installed;
    const char* asked;
  } cases[] = {{"3.1.0-GOV", "3.1.0"}, {"3.1.0-RC", "3.1.0-RC"}, {"3.1.0", "3.1.0"}, {"3.1-GOV", "3.1"}};
  for (const auto& test : cases) {
    KelvoDevice::Descriptor descriptor;
    descriptor.insert("Serial", "K2000000042");
    descriptor.insert("Firmware", test.installed);
    KelvoDevice device(descriptor);
    EXPECT_EQ(KelvoDeviceManager::feedVersionOf(&device), QString::fromLatin1(test.asked)) << test.installed;
  }
}

// The server is asked for one reader at a time; a failed run re-arms that reader's check with a longer delay, and
// the catalogue is still matched afterwards (without the earlier download, which each run clears).
TEST_F(FirmwareOfferTest, SecondGenerationReadersAskTheServerInTurnAndAFailureRetriesLater) {
  addImage("k2-230", "2.3.0", "K2.*");
  QTcpServer closed;
  ASSERT_TRUE(closed.listen(QHostAddress::LocalHost));
  const QString base = QStringLiteral("https://127.0.0.1:%1/kelvo/").arg(closed.serverPort());
  closed.close();
  ApplicationSettings::setUpdateServerUrl(base);
  startManager();
  QSignalSpy verbose(manager.get(), &KelvoDeviceManager::verboseMessageLogged);
  KelvoDevice* first = driverDevice("d0a1b2c3d4e5", "K2000000042");
  KelvoDevice* second = driverDevice("d0a1b2c3d4e6", "K2000000043");
  ASSERT_NE(first, nullptr);
  ASSERT_NE(second, nullptr);
  const int retriesBefore = first->updateCheckRetryCount();

  manager->deviceUpdateChecking(first);
  manager->deviceUpdateChecking(second);
  manager->deviceUpdateChecking(first);  // already waiting: not asked twice
  const QString checking = QStringLiteral("Checking for update from '%1firmware/kelvo-firmware.xml'...").arg(base);
  EXPECT_EQ(textsOf(verbose), QStringList{checking});
  const QString failed = QStringLiteral("Update failed while accessing '%1firmware/kelvo-firmware.xml'").arg(base);
  ASSERT_TRUE(QTest::qWaitFor([&] { return textsOf(*errors).count(failed) == 2; }, 30000))
      << textsOf(*errors).join('\n').toStdString();
  EXPECT_EQ(textsOf(verbose), QStringList({checking, checking}));
  EXPECT_EQ(first->updateCheckRetryCount(), retriesBefore + 1);
  EXPECT_EQ(second->updateCheckRetryCount(), retriesBefore + 1);
  EXPECT_TRUE(
      textsOf(*log).contains("There is no firmware update available for device with serial K2000000043 "
                             "(2.1.0)"));
  EXPECT_FALSE(QFileInfo::exists(folder));
}

TEST_F(FirmwareOfferTest, AnUpdateForAReaderThatWentIsReportedNotPrepared) {
  startManager();
  manager->firmwareReceived(QByteArray("IMAGE"), true);
  EXPECT_TRUE(textsOf(*errors).contains("Updating device not found"));
  manager->receiveFirmwareFailed();
  EXPECT_TRUE(textsOf(*errors).contains("Failed to receive firmware file"));
}

}  // namespace
