// SPDX-License-Identifier: Apache-2.0
#include <gtest/gtest.h>

#include <filesystem>
#include <thread>

#include "LogCapture.h"
#include "ReaderStack.h"
#include "SettingsFixture.h"
#include "kelvo/simulator/peripheral/OtherPeripheral.h"
#include "trevalon/ReaderCache.h"
#include "trevalon/ReaderCardStateProxy.h"
#include "trevalon/ReaderKelvoReaderTranslator.h"
#include "trevalon/kelvo/KelvoReaderKelvoBLEReaderTranslator.h"
#include "trevalon/local/Settings.h"

using namespace kelvo::test;
using kelvo::simulator::KelvoReaderConfig;
using trevalon::Reader;

namespace {

class ReaderStackTest : public ::testing::Test {
 protected:
  SettingsFixture settingsStore;
  LogCapture capture;
};

template <typename Expected, typename Layer>
std::shared_ptr<Expected> lowerAs(const std::shared_ptr<Layer>& layer) {
  auto translator = std::dynamic_pointer_cast<trevalon::common::Master<typename Layer::LowerInterface>>(layer);
  return translator ? std::dynamic_pointer_cast<Expected>(translator->getMaster()) : nullptr;
}

TEST_F(ReaderStackTest, AKelvoDeviceBecomesCacheOverCardStateOverKelvoTranslator) {
  ReaderStack stack{KelvoReaderConfig()};
  ASSERT_TRUE(stack.reader);
  auto cache = std::dynamic_pointer_cast<trevalon::ReaderCache>(stack.reader);
  ASSERT_TRUE(cache);
  auto proxy = std::dynamic_pointer_cast<trevalon::ReaderCardStateProxy>(cache->getMaster());
  ASSERT_TRUE(proxy);
  auto translator = std::dynamic_pointer_cast<trevalon::ReaderKelvoReaderTranslator>(proxy->getMaster());
  ASSERT_TRUE(translator);
  EXPECT_TRUE(std::dynamic_pointer_cast<trevalon::kelvo::KelvoReaderKelvoBLEReaderTranslator>(translator->getMaster()));
  EXPECT_TRUE(capture.containsAt("Info", "Kelvo service was found"));
  EXPECT_FALSE(stack.native->isConnected()) << "the service check's connection is let go";
}

TEST_F(ReaderStackTest, SerialsInAdvertisedNamesAreRemembered) {
  struct Case {
    const char* name;
    const char* stored;
  };
  const std::vector<Case> cases = {
      {"Kelvo 5123456789", "5123456789"},
      {"Kelvo 6123456789", ""},
      {"Kelvo 512345678", ""},
      {"KLV21234567890", "KLV21234567890"},
      {"K2AB1234567890", "K2AB1234567890"},
      {"K2000000042", ""},
      {"Kelvo K2000000042", ""},
      {"xKelvo 5123456789", ""},
  };
  int n = 0;
  for (const Case& c : cases) {
    KelvoReaderConfig config;
    char address[13];
    std::snprintf(address, sizeof address, "00000000%04x", n++);
    config.address = address;
    config.name = c.name;
    ReaderStack stack(config);
    EXPECT_EQ(trevalon::local::readTextSetting(std::string("serial_") + address, "", false), c.stored) << c.name;
  }
}

TEST_F(ReaderStackTest, ADeviceWithoutAReaderServiceIsNoReader) {
  auto radio = trevalon::sim::SimulatedRadio::create();
  radio->addPeripheral(std::make_shared<kelvo::simulator::OtherPeripheral>("a0a1a2a3a4a5", "Heart rate strap", 50));
  radio->waitIdle();
  auto native = trevalon::sim::BLEReaderSim::create(radio, "a0a1a2a3a4a5", "a0a1a2a3a4a5", "Heart rate strap");
  EXPECT_FALSE(Reader::create(native));
  EXPECT_TRUE(capture.containsAt("Warning", "No known service was found for 'Heart rate strap'"));
}

// a63928c5-f337-4181-9412-09b8a6d8826f, the other reader family's service.
const trevalon::ble::Uuid kPentaloqService = *trevalon::ble::Uuid::parse("a63928c5-f337-4181-9412-09b8a6d8826f");

// A peripheral that offers a further (empty) service besides those of the one it stands for.
class WithExtraService : public trevalon::sim::EmulatedPeripheral {
 public:
  WithExtraService(std::shared_ptr<trevalon::sim::EmulatedPeripheral> inner, trevalon::ble::Uuid extra)
      : inner(std::move(inner)), extra(extra) {}
  std::string address() const override { return inner->address(); }
  std::string name() const override { return inner->name(); }
  std::vector<trevalon::sim::GattService> services() const override {
    std::vector<trevalon::sim::GattService> offered = inner->services();
    offered.push_back(trevalon::sim::GattService{extra, {}});
    return offered;
  }
  bool isLinkUp() const override { return inner->isLinkUp(); }
  std::optional<std::vector<uint8_t>> read(const trevalon::ble::Uuid& s, const trevalon::ble::Uuid& c) override {
    return inner->read(s, c);
  }
  bool write(const trevalon::ble::Uuid& s, const trevalon::ble::Uuid& c, const std::vector<uint8_t>& d) override {
    return inner->write(s, c, d);
  }
  bool subscribe(const trevalon::ble::Uuid& s, const trevalon::ble::Uuid& c, bool enable) override {
    return inner->subscribe(s, c, enable);
  }
  void attach(std::weak_ptr<trevalon::sim::PeripheralListener> listener) override { inner->attach(listener); }

 private:
  std::shared_ptr<trevalon::sim::EmulatedPeripheral> inner;
  trevalon::ble::Uuid extra;
};

TEST_F(ReaderStackTest, TheFamilyFollowsTheServiceAndKelvoComesFirst) {
  auto radio = trevalon::sim::SimulatedRadio::create();
  KelvoReaderConfig config;
  auto emulator = kelvo::simulator::KelvoReaderEmulator::create(config.withDefaults());
  radio->addPeripheral(std::make_shared<WithExtraService>(emulator, kPentaloqService));
  radio->addPeripheral(std::make_shared<WithExtraService>(
      std::make_shared<kelvo::simulator::OtherPeripheral>("a0a1a2a3a4a5", "Pentaloq 1", 50), kPentaloqService));
  radio->waitIdle();

  auto both = trevalon::sim::BLEReaderSim::create(radio, config.address, config.address, config.name);
  std::shared_ptr<Reader> reader = Reader::create(both);
  ASSERT_TRUE(reader) << "a device offering both services is a Kelvo reader";
  auto events = std::make_shared<ReaderEvents>();
  reader->addObserver(events);
  both->connect();
  ASSERT_TRUE(events->waitFor("available", 1));
  EXPECT_EQ(reader->getBatteryLevel(), 80);
  EXPECT_EQ(capture.countAt("Info", "Pentaloq service was found"), 0u);

  auto pentaloq = trevalon::sim::BLEReaderSim::create(radio, "a0a1a2a3a4a5", "a0a1a2a3a4a5", "Pentaloq 1");
  std::shared_ptr<Reader> other = Reader::create(pentaloq);
  ASSERT_TRUE(other) << "a device offering only the other family's service is a reader of that family";
  EXPECT_EQ(other->getModel(), "Pentaloq");
  EXPECT_TRUE(capture.containsAt("Info", "Pentaloq service was found"));
  EXPECT_FALSE(pentaloq->isConnected());
  other.reset();

  std::weak_ptr<trevalon::ble::BLEReader> bottom = bottomOf(reader);
  reader.reset();
  EXPECT_TRUE(waitGone(bottom)) << "the stack's worker threads must finish before the test ends";
}

TEST_F(ReaderStackTest, AvailableReaderHasTheWorkstationNameAndClockFirst) {
  ReaderStack stack{KelvoReaderConfig()};
  std::string nameWhenAnnounced;
  bool clockWhenAnnounced = false;
  stack.events->onAvailable = [&](bool available) {
    if (!available) return;
    nameWhenAnnounced = stack.emulator->state().clientName;
    clockWhenAnnounced = stack.emulator->state().localTime.has_value();
  };
  ASSERT_TRUE(stack.connect());
  EXPECT_FALSE(nameWhenAnnounced.empty());
  EXPECT_EQ(nameWhenAnnounced, trevalon::local::Facade::instance().getMachine()->getName());
  EXPECT_TRUE(clockWhenAnnounced);
}

TEST_F(ReaderStackTest, IdentityAndSettingsInTheirDomains) {
  KelvoReaderConfig config;
  config.settings = {{1, 7}, {2, 2}, {3, 1}, {4, 0}, {6, 1}, {8, 0xC4}};
  ReaderStack stack(config);
  ASSERT_TRUE(stack.connect());
  Reader& reader = *stack.reader;
  EXPECT_EQ(reader.getVendor(), "trevalon GmbH");
  EXPECT_EQ(reader.getName(), "Kelvo 5123456789");
  EXPECT_EQ(reader.getFirmware(), "1.4.2");
  EXPECT_EQ(reader.getBatteryLevel(), 80);
  EXPECT_EQ(reader.getEncryption(), 0xFF);
  EXPECT_EQ(reader.getSignalStrength(), 0xFF) << "7 is no signal strength";
  EXPECT_EQ(reader.getAdvertisingMode(), 2);
  EXPECT_EQ(reader.getDisplayMode(), 1);
  EXPECT_EQ(reader.getBackLight(), 0);
  EXPECT_EQ(reader.getBuzzerMode(), 1);
  EXPECT_EQ(reader.getRssiMinValue(), 0xC4);
  EXPECT_EQ(reader.getAddress(), "001a7dda7113");
  EXPECT_FALSE(reader.setPrefered("workstation-1"));
  EXPECT_FALSE(reader.reservedQuery());
  EXPECT_FALSE(reader.stateQuery());
}

TEST_F(ReaderStackTest, SettingNotificationsBecomeEventsInTheirDomains) {
  ReaderStack stack{KelvoReaderConfig()};
  ASSERT_TRUE(stack.connect());
  stack.events->forget();
  stack.emulator->sendNotification({5, 1, 7});
  stack.emulator->sendNotification({5, 5, 2});
  stack.emulator->sendNotification({5, 8, 0xB0});
  ASSERT_TRUE(stack.events->waitFor("rssi", 0xB0));
  ASSERT_TRUE(stack.events->waitFor("signal", 0xFF)) << "7 is no signal strength";
  EXPECT_EQ(stack.events->values("signal"), std::vector<int64_t>{0xFF});
  EXPECT_TRUE(capture.containsAt("Warning", "Unhandled setting 0x5"));
  EXPECT_EQ(stack.events->count("contrast"), 0u);
}

TEST_F(ReaderStackTest, CardStatusesBecomeCardStates) {
  KelvoReaderConfig config;
  config.cardAtr.reset();
  ReaderStack stack(config);
  ASSERT_TRUE(stack.connect());
  EXPECT_EQ(stack.reader->getState(), trevalon::kCardAbsent);
  EXPECT_FALSE(stack.reader->getCard());
  stack.events->forget();
  stack.emulator->insertCard({0x3B, 0x00});
  ASSERT_TRUE(stack.events->waitFor("state", trevalon::kCardPresent));
  EXPECT_EQ(stack.events->values("state"), (std::vector<int64_t>{trevalon::kCardUnidentified, trevalon::kCardPresent}))
      << "status 2 (present) is not yet identified, status 6 (ready) is present";
  EXPECT_EQ(stack.reader->getCard(), std::static_pointer_cast<trevalon::Card>(stack.reader));
  stack.emulator->removeCard();
  ASSERT_TRUE(stack.events->waitFor("state", trevalon::kCardAbsent));
  EXPECT_FALSE(stack.reader->getCard());
}

TEST_F(ReaderStackTest, SerialOutOfReachIsTheOneLastSeen) {
  KelvoReaderConfig config;
  config.name = "Kelvo";  // no serial in the name: only the descriptor can tell
  {
    ReaderStack never(config);
    EXPECT_EQ(never.reader->getSerial(), "") << "a reader never seen has no serial";
  }
  ReaderStack stack(config);
  ASSERT_TRUE(stack.connect());
  EXPECT_EQ(stack.reader->getSerial(), "5123456789");
  ReaderStack again(config);
  EXPECT_FALSE(again.reader->isConnected());
  EXPECT_EQ(again.reader->getSerial(), "5123456789");
}

TEST_F(ReaderStackTest, ShutdownSucceedsEvenWhenTheReaderRefuses) {
  KelvoReaderConfig config;
  config.cardAtr.reset();
  ReaderStack stack(config);
  ASSERT_TRUE(stack.connect());
  auto cache = std::dynamic_pointer_cast<trevalon::ReaderCache>(stack.reader);
  auto proxy = std::dynamic_pointer_cast<trevalon::ReaderCardStateProxy>(cache->getMaster());
  auto translator = proxy->getMaster();
  EXPECT_TRUE(translator->shutdown());
  EXPECT_TRUE(capture.containsAt("Info", "Error was ignored during shutdown"));
}

}  // namespace

namespace {

TEST(KelvoValueDomains, SettingsOutsideTheirDomainAreUnknown) {
  using trevalon::ReaderKelvoReaderTranslator;
  struct Case {
    uint8_t id;
    uint8_t value;
    uint8_t reported;
  };
  const std::vector<Case> cases = {
      {1, 0, 0},    {1, 3, 3}, {1, 4, 0xFF}, {2, 0, 0xFF}, {2, 1, 1},    {2, 2, 2},       {2, 3, 0xFF},    {3, 1, 1},
      {3, 2, 0xFF}, {4, 0, 0}, {4, 7, 0xFF}, {6, 1, 1},    {6, 2, 0xFF}, {8, 0x80, 0x80}, {8, 0xFF, 0xFF}, {8, 0, 0},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(ReaderKelvoReaderTranslator::filterSetting(c.id, c.value), c.reported)
        << "setting " << int(c.id) << " value " << int(c.value);
  }
}

TEST(KelvoValueDomains, CardStatusesWithoutAStateRaiseNothing) {
  using trevalon::ReaderKelvoReaderTranslator;
  EXPECT_EQ(ReaderKelvoReaderTranslator::cardStateOf(0), trevalon::kCardUnknown);
  EXPECT_EQ(ReaderKelvoReaderTranslator::cardStateOf(1), trevalon::kCardAbsent);
  EXPECT_EQ(ReaderKelvoReaderTranslator::cardStateOf(2), trevalon::kCardUnidentified);
  EXPECT_EQ(ReaderKelvoReaderTranslator::cardStateOf(6), trevalon::kCardPresent);
  for (uint8_t status : {3, 4, 5, 7, 0x81, 0xFF}) {
    EXPECT_FALSE(ReaderKelvoReaderTranslator::cardStateOf(status).has_value()) << int(status);
  }
}

}  // namespace

namespace {

TEST(ReaderStackReconnection, TheCardIsKnownAgainAfterTheLinkComesBack) {
  SettingsFixture settingsStore;
  KelvoReaderConfig config;
  config.cardAtr = std::vector<uint8_t>{0x3B, 0x00};
  ReaderStack stack(config);
  ASSERT_TRUE(stack.connect());
  ASSERT_EQ(stack.reader->getState(), trevalon::kCardPresent);
  stack.events->forget();
  // As after the link's idle period: the link drops while the reader stays in range, and the next use
  // connects it again.
  stack.native->disconnect();
  EXPECT_EQ(stack.reader->getState(), trevalon::kCardUnknown);
  stack.native->connect();
  EXPECT_TRUE(stack.events->waitFor("state", trevalon::kCardPresent));
  EXPECT_EQ(stack.reader->getState(), trevalon::kCardPresent);
}

size_t threadsOfThisProcess() {
  size_t count = 0;
  for (const auto& entry : std::filesystem::directory_iterator("/proc/self/task")) {
    (void)entry;
    ++count;
  }
  return count;
}

TEST(ReaderStackReconnection, AFlappingLinkAsksForTheCardOnOneThreadAtATime) {
  SettingsFixture settingsStore;
  KelvoReaderConfig config;
  config.cardAtr = std::vector<uint8_t>{0x3B, 0x00};
  ReaderStack stack(config);
  ASSERT_TRUE(stack.connect());
  auto cache = std::dynamic_pointer_cast<trevalon::ReaderCache>(stack.reader);
  auto proxy = std::dynamic_pointer_cast<trevalon::ReaderCardStateProxy>(cache->getMaster());
  auto translator = std::dynamic_pointer_cast<trevalon::ReaderKelvoReaderTranslator>(proxy->getMaster());
  ASSERT_TRUE(translator);
  auto functions =
      std::dynamic_pointer_cast<trevalon::kelvo::KelvoReaderKelvoBLEReaderTranslator>(translator->getMaster());
  ASSERT_TRUE(functions);
  // Each refresh asks the reader for its state (the link's drop made it forget), which now takes a while.
  kelvo::simulator::KelvoReaderFault slow;
  slow.kind = kelvo::simulator::KelvoReaderFault::Kind::delay;
  slow.method = 13;
  slow.delayMs = 300;
  slow.times = 0;
  stack.emulator->addFault(slow);
  LogCapture capture;
  const size_t threadsBefore = threadsOfThisProcess();
  size_t mostThreads = threadsBefore;
  const auto burstStart = std::chrono::steady_clock::now();
  for (int i = 0; i < 500; ++i) {
    functions->onConnectedChanged(false);
    translator->onConnectedChanged(true);
    mostThreads = std::max(mostThreads, threadsOfThisProcess());
  }
  const auto burst = std::chrono::steady_clock::now() - burstStart;
  EXPECT_LE(mostThreads, threadsBefore + 1) << "one refresh thread, not one per reconnection";
  const std::string refresh = ">> trevalon::ReaderKelvoReaderTranslator::refreshCardStatus(";
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
  while (capture.count(refresh) < 2 && std::chrono::steady_clock::now() < deadline) {
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  EXPECT_GE(capture.count(refresh), 2u) << "reconnections during a refresh have it ask once more";
  // Refreshes run one at a time and each waits 300 ms for the state, so however long the burst took (a slow,
  // instrumented build stretches it), it costs at most one refresh per 300 ms of it and the one asked at its end.
  const size_t bound = 3 + static_cast<size_t>(burst / std::chrono::milliseconds(300));
  EXPECT_LE(capture.count(refresh), std::min<size_t>(bound, 100)) << "but not once for each of them";
  stack.emulator->clearFaults();
}

}  // namespace
