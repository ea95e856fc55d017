// SPDX-License-Identifier: Apache-2.0
// The simulated radio's native reader behaves as a platform backend does: reads of at most 24 bytes,
// property checks before the air, results before the call returns, notifications on "BLE_NOTIF",
// availability from the connected-address provider.

#include <gmock/gmock.h>

#include <atomic>
#include <condition_variable>
#include <map>
#include <mutex>
#include <thread>

#include "LogCapture.h"
#include "trevalon/common/Log.h"
#include "trevalon/sim/BLEReaderSim.h"
#include "trevalon/sim/ProviderBLESim.h"
#include "trevalon/sim/ProviderSim.h"
#include "trevalon/sim/SimulatedRadio.h"

namespace kelvo::test {
namespace {

using trevalon::ble::Uuid;
using trevalon::sim::BLEReaderSim;
using trevalon::sim::GattCharacteristic;
using trevalon::sim::GattService;
using trevalon::sim::SimulatedRadio;
using Bytes = std::vector<uint8_t>;
using ::testing::ElementsAre;

Uuid uuid(const char* text) { return *Uuid::parse(text); }

const Uuid kService = uuid("723e2ee5-f0aa-4f13-a557-6b3f0e916803");
const Uuid kReadable = uuid("00000006-0000-1000-8000-00805f9b34fb");
const Uuid kWritable = uuid("00000007-0000-1000-8000-00805f9b34fb");
const Uuid kNotifying = uuid("00000008-0000-1000-8000-00805f9b34fb");
const Uuid kOtherService = uuid("0000180f-0000-1000-8000-00805f9b34fb");

// A peripheral whose air side the test controls completely.
class TestPeripheral : public trevalon::sim::EmulatedPeripheral {
 public:
  explicit TestPeripheral(std::string address, Uuid service = kService) : peer(std::move(address)), service(service) {}

  std::string address() const override { return peer; }
  std::string name() const override { return "test " + peer; }
  std::vector<GattService> services() const override {
    GattService offered;
    offered.uuid = service;
    offered.characteristics = {
        {kReadable, true, false, false}, {kWritable, false, true, false}, {kNotifying, false, false, true}};
    return {offered};
  }
  bool isLinkUp() const override { return link; }
  std::optional<Bytes> read(const Uuid&, const Uuid&) override {
    ++reads;
    if (!link) return std::nullopt;
    std::lock_guard<std::mutex> guard(lock);
    return value;
  }
  bool write(const Uuid&, const Uuid&, const Bytes& data) override {
    ++writes;
    std::lock_guard<std::mutex> guard(lock);
    written = data;
    return link;
  }
  bool subscribe(const Uuid&, const Uuid&, bool) override { return link; }
  void attach(std::weak_ptr<trevalon::sim::PeripheralListener> radio) override {
    std::lock_guard<std::mutex> guard(lock);
    listener = std::move(radio);
  }

  void notify(Bytes data) {
    if (auto radio = listenerCopy()) radio->onNotification(peer, service, kNotifying, std::move(data));
  }
  void setLink(bool up) {
    link = up;
    if (auto radio = listenerCopy()) radio->onLinkChanged(peer, up);
  }
  void setValue(Bytes data) {
    std::lock_guard<std::mutex> guard(lock);
    value = std::move(data);
  }

  std::atomic<int> reads{0};
  std::atomic<int> writes{0};
  std::atomic<bool> link{true};

 private:
  std::shared_ptr<trevalon::sim::PeripheralListener> listenerCopy() {
    std::lock_guard<std::mutex> guard(lock);
    return listener.lock();
  }

  const std::string peer;
  const Uuid service;
  std::mutex lock;
  Bytes value;
  Bytes written;
  std::weak_ptr<trevalon::sim::PeripheralListener> listener;
};

// Records every event with the thread it came on.
class Recorder : public trevalon::ble::BLEReaderNativeObserver {
 public:
  struct Event {
    std::string what;
    Bytes data;
    bool flag = false;
    std::string thread;
    std::thread::id threadId;
  };

  void onAvailableChanged(bool available) override { add("available", {}, available); }
  void onConnectedChanged(bool connected) override { add("connected", {}, connected); }
  void onPairedChanged(bool paired) override { add("paired", {}, paired); }
  void onCharacteristicRead(Uuid, Uuid, Bytes data) override { add("read", data, false); }
  void onCharacteristicWritten(Uuid, Uuid, bool success) override { add("written", {}, success); }
  void onCharacteristicChanged(Uuid, Uuid, Bytes data) override { add("changed", data, false); }

  std::vector<Event> of(const std::string& what) {
    std::lock_guard<std::mutex> guard(lock);
    std::vector<Event> matching;
    for (const Event& event : events) {
      if (event.what == what) matching.push_back(event);
    }
    return matching;
  }

 private:
  void add(const std::string& what, const Bytes& data, bool flag) {
    Event event;
    event.what = what;
    event.data = data;
    event.flag = flag;
    event.thread = trevalon::common::threadName();
    event.threadId = std::this_thread::get_id();
    std::lock_guard<std::mutex> guard(lock);
    events.push_back(std::move(event));
  }
  std::mutex lock;
  std::vector<Event> events;
};

class SimulatedRadioTest : public ::testing::Test {
 protected:
  void SetUp() override {
    peripheral = std::make_shared<TestPeripheral>(kAddress);
    radio->addPeripheral(peripheral);
    radio->waitIdle();
    reader = BLEReaderSim::create(radio, kAddress, kAddress, "reader");
    reader->addObserver(recorder);
  }
  void TearDown() override { radio->waitIdle(); }

  static constexpr const char* kAddress = "001a7dda7113";
  std::shared_ptr<SimulatedRadio> radio = SimulatedRadio::create();
  std::shared_ptr<TestPeripheral> peripheral;
  std::shared_ptr<BLEReaderSim> reader;
  std::shared_ptr<Recorder> recorder = std::make_shared<Recorder>();
  LogCapture capture;
};

TEST_F(SimulatedRadioTest, ConnectTwiceNotifiesOnceAndDisconnectWithoutConnectionDoesNothing) {
  reader->disconnect();
  EXPECT_TRUE(recorder->of("connected").empty());
  EXPECT_TRUE(reader->connect());
  EXPECT_TRUE(reader->connect());
  EXPECT_EQ(recorder->of("connected").size(), 1u);
  EXPECT_TRUE(reader->isConnected());
  reader->disconnect();
  reader->disconnect();
  ASSERT_EQ(recorder->of("connected").size(), 2u);
  EXPECT_FALSE(recorder->of("connected")[1].flag);

  auto stranger = BLEReaderSim::create(radio, "0000000000aa", "0000000000aa", "");
  EXPECT_FALSE(stranger->connect());
}

TEST_F(SimulatedRadioTest, ReadsDeliverAtMostTwentyFourBytesBeforeTheCallReturns) {
  ASSERT_TRUE(reader->connect());
  peripheral->setValue(Bytes(24, 0x42));
  reader->readCharacteristic(kService, kReadable);
  peripheral->setValue(Bytes(25, 0x42));
  reader->readCharacteristic(kService, kReadable);
  const auto reads = recorder->of("read");
  ASSERT_EQ(reads.size(), 2u);
  EXPECT_EQ(reads[0].data.size(), 24u);
  EXPECT_TRUE(reads[1].data.empty());
  EXPECT_EQ(reads[0].threadId, std::this_thread::get_id());
  EXPECT_TRUE(capture.containsAt("ERROR", "could not read characteristic: 0x8007007A"));
}

TEST_F(SimulatedRadioTest, PropertiesAreCheckedBeforeAnythingGoesOnTheAir) {
  ASSERT_TRUE(reader->connect());
  reader->writeCharacteristic(kService, kReadable, {1});
  reader->readCharacteristic(kService, kWritable);
  EXPECT_FALSE(reader->registerCharacteristic(kService, kWritable));
  EXPECT_EQ(peripheral->writes, 0);
  EXPECT_EQ(peripheral->reads, 0);
  ASSERT_EQ(recorder->of("written").size(), 1u);
  EXPECT_FALSE(recorder->of("written")[0].flag);
  ASSERT_EQ(recorder->of("read").size(), 1u);
  EXPECT_TRUE(recorder->of("read")[0].data.empty());
  EXPECT_TRUE(capture.containsAt("ERROR", "Characteristic not writeable"));
  EXPECT_TRUE(capture.containsAt("ERROR", "Characteristic not readable"));
  EXPECT_TRUE(capture.containsAt("ERROR", "ClientCharacteristicConfiguration not found"));

  reader->writeCharacteristic(kService, kWritable, {1, 2});
  EXPECT_EQ(peripheral->writes, 1);
  EXPECT_TRUE(recorder->of("written")[1].flag);
  EXPECT_EQ(recorder->of("written")[1].threadId, std::this_thread::get_id());
}

TEST_F(SimulatedRadioTest, OperationsWithoutConnectionOrLinkFail) {
  reader->readCharacteristic(kService, kReadable);
  reader->writeCharacteristic(kService, kWritable, {1});
  EXPECT_EQ(peripheral->reads + peripheral->writes, 0);
  ASSERT_TRUE(reader->connect());
  peripheral->setLink(false);
  reader->readCharacteristic(kService, kReadable);
  reader->writeCharacteristic(kService, kWritable, {1});
  const auto reads = recorder->of("read");
  const auto writes = recorder->of("written");
  ASSERT_EQ(reads.size(), 2u);
  ASSERT_EQ(writes.size(), 2u);
  for (const auto& read : reads) EXPECT_TRUE(read.data.empty());
  for (const auto& write : writes) EXPECT_FALSE(write.flag);
  EXPECT_FALSE(reader->registerCharacteristic(kService, kNotifying));
}

TEST_F(SimulatedRadioTest, NotificationsArriveOnTheirOwnThreadOnlyWhileRegistered) {
  ASSERT_TRUE(reader->connect());
  peripheral->notify({1});
  radio->waitIdle();
  EXPECT_TRUE(recorder->of("changed").empty());

  ASSERT_TRUE(reader->registerCharacteristic(kService, kNotifying));
  peripheral->notify({2});
  peripheral->notify({3});
  radio->waitIdle();
  const auto changed = recorder->of("changed");
  ASSERT_EQ(changed.size(), 2u);
  EXPECT_EQ(changed[0].data, Bytes{2});
  EXPECT_EQ(changed[1].data, Bytes{3});
  EXPECT_EQ(changed[0].thread, "BLE_NOTIF");

  EXPECT_TRUE(reader->unregisterCharacteristic(kService, kNotifying));
  EXPECT_TRUE(reader->unregisterCharacteristic(kService, kNotifying));
  peripheral->notify({4});
  radio->waitIdle();
  EXPECT_EQ(recorder->of("changed").size(), 2u);
}

TEST_F(SimulatedRadioTest, FirstRegistrationMakesANeverKnownReaderAvailable) {
  ASSERT_TRUE(reader->connect());
  EXPECT_FALSE(reader->isAvailable());
  ASSERT_TRUE(reader->registerCharacteristic(kService, kNotifying));
  ASSERT_TRUE(reader->registerCharacteristic(kService, kNotifying));
  EXPECT_TRUE(reader->isAvailable());
  EXPECT_EQ(recorder->of("available").size(), 1u);
}

TEST_F(SimulatedRadioTest, AvailabilityFollowsTheLinkOfItsOwnAddressOnly) {
  auto other = std::make_shared<TestPeripheral>("0000000000ff");
  other->link = false;
  radio->addPeripheral(other);
  other->setLink(true);
  radio->waitIdle();
  EXPECT_TRUE(recorder->of("available").empty());

  peripheral->setLink(false);
  peripheral->setLink(true);
  peripheral->setLink(true);
  radio->waitIdle();
  auto available = recorder->of("available");
  ASSERT_EQ(available.size(), 1u);
  EXPECT_TRUE(available[0].flag);
  EXPECT_EQ(available[0].thread, "MSG__PUMP");

  peripheral->setLink(false);
  radio->waitIdle();
  available = recorder->of("available");
  ASSERT_EQ(available.size(), 2u);
  EXPECT_FALSE(available[1].flag);
  EXPECT_FALSE(reader->isAvailable());

  // Addresses are matched as text: another spelling of the same address is another peer.
  auto shouting = BLEReaderSim::create(radio, "001A7DDA7113", "001A7DDA7113", "");
  auto shoutingRecorder = std::make_shared<Recorder>();
  shouting->addObserver(shoutingRecorder);
  peripheral->setLink(true);
  radio->waitIdle();
  EXPECT_TRUE(shoutingRecorder->of("available").empty());
  EXPECT_TRUE(reader->isAvailable());
}

TEST_F(SimulatedRadioTest, ConnectedAddressProviderReportsChangesOnly) {
  struct Counter : trevalon::ProviderObserver<std::string> {
    void onFound(const std::string& address) override { found.push_back(address); }
    void onLost(const std::string& address) override { lost.push_back(address); }
    std::vector<std::string> found;
    std::vector<std::string> lost;
  };
  auto counter = std::make_shared<Counter>();
  auto connection = radio->getConnection();
  connection->addObserver(counter);
  EXPECT_EQ(connection->getProvided(), std::list<std::string>{kAddress});
  connection->setConnected(kAddress, true);
  connection->setConnected("0000000000aa", false);
  connection->setConnected("0000000000aa", true);
  connection->setConnected("0000000000aa", false);
  EXPECT_THAT(counter->found, ElementsAre("0000000000aa"));
  EXPECT_THAT(counter->lost, ElementsAre("0000000000aa"));
}

TEST_F(SimulatedRadioTest, ServiceChecksAndPairing) {
  EXPECT_FALSE(reader->hasService(kService, {}));
  ASSERT_TRUE(reader->connect());
  EXPECT_TRUE(reader->hasService(kService, {}));
  EXPECT_TRUE(reader->hasService(kService, {kReadable, kNotifying}));
  EXPECT_FALSE(reader->hasService(kService, {kReadable, kOtherService}));
  EXPECT_TRUE(capture.containsAt("Info", "Characteristic not found"));
  EXPECT_FALSE(reader->hasService(kOtherService, {}));

  EXPECT_TRUE(reader->isPaired());
  EXPECT_FALSE(reader->setPaired(true));
  EXPECT_TRUE(capture.containsAt("Info", "Pairing is not supported at the moment"));
  EXPECT_TRUE(reader->setPaired(false));
  EXPECT_EQ(reader->getAddress(), kAddress);
  EXPECT_EQ(reader->getId(), kAddress);
  EXPECT_EQ(reader->getName(), "reader");
}

TEST_F(SimulatedRadioTest, ReaderReleasedFromItsOwnNotificationIsDestroyedSafely) {
  struct Dropper : trevalon::ble::BLEReaderNativeObserver {
    void onAvailableChanged(bool) override {}
    void onConnectedChanged(bool) override {}
    void onPairedChanged(bool) override {}
    void onCharacteristicRead(Uuid, Uuid, Bytes) override {}
    void onCharacteristicWritten(Uuid, Uuid, bool) override {}
    void onCharacteristicChanged(Uuid, Uuid, Bytes) override {
      std::lock_guard<std::mutex> guard(lock);
      held.reset();
    }
    std::mutex lock;
    std::shared_ptr<BLEReaderSim> held;
  };
  auto dropper = std::make_shared<Dropper>();
  std::weak_ptr<BLEReaderSim> watch;
  {
    auto owned = BLEReaderSim::create(radio, kAddress, kAddress, "");
    owned->addObserver(dropper);
    ASSERT_TRUE(owned->connect());
    ASSERT_TRUE(owned->registerCharacteristic(kService, kNotifying));
    watch = owned;
    std::lock_guard<std::mutex> guard(dropper->lock);
    dropper->held = owned;
  }
  peripheral->notify({1});
  radio->waitIdle();
  EXPECT_TRUE(watch.expired());
  peripheral->notify({2});
  radio->waitIdle();
}

TEST(SimulatedRadioLifetime, ReadersOutlivingTheRadioFailQuietly) {
  auto radio = SimulatedRadio::create();
  auto peripheral = std::make_shared<TestPeripheral>("001a7dda7113");
  radio->addPeripheral(peripheral);
  auto reader = BLEReaderSim::create(radio, "001a7dda7113", "001a7dda7113", "");
  auto recorder = std::make_shared<Recorder>();
  reader->addObserver(recorder);
  ASSERT_TRUE(reader->connect());
  ASSERT_TRUE(reader->registerCharacteristic(kService, kNotifying));
  radio.reset();

  reader->readCharacteristic(kService, kReadable);
  reader->writeCharacteristic(kService, kWritable, {1});
  EXPECT_FALSE(reader->registerCharacteristic(kService, kNotifying));
  EXPECT_TRUE(reader->unregisterCharacteristic(kService, kNotifying));
  EXPECT_FALSE(reader->setPaired(false));
  reader->disconnect();
  EXPECT_FALSE(reader->connect());
  ASSERT_EQ(recorder->of("read").size(), 1u);
  EXPECT_TRUE(recorder->of("read")[0].data.empty());
  ASSERT_EQ(recorder->of("written").size(), 1u);
  EXPECT_FALSE(recorder->of("written")[0].flag);
  EXPECT_EQ(peripheral->reads + peripheral->writes, 0);
  // The peripheral's notifications have nowhere to go.
  peripheral->notify({1});
}

TEST(SimulatedDiscovery, EnumerationReportsPeripheralsOfferingTheServiceAsNativeReaders) {
  auto radio = SimulatedRadio::create();
  radio->addPeripheral(std::make_shared<TestPeripheral>("001a7dda7113"));
  radio->addPeripheral(std::make_shared<TestPeripheral>("00000000beef", kOtherService));
  auto enumeration = std::make_shared<trevalon::sim::ProviderSim>(radio, kService);
  auto readers = trevalon::common::createTranslator<trevalon::sim::ProviderBLESim>(enumeration, radio);
  struct Found : trevalon::ProviderObserver<std::shared_ptr<trevalon::ble::BLEReaderNative>> {
    void onFound(const std::shared_ptr<trevalon::ble::BLEReaderNative>& reader) override {
      {
        std::lock_guard<std::mutex> guard(lock);
        found.push_back(reader);
      }
      arrived.notify_all();
    }
    void onLost(const std::shared_ptr<trevalon::ble::BLEReaderNative>&) override {}
    std::mutex lock;
    std::condition_variable arrived;
    std::vector<std::shared_ptr<trevalon::ble::BLEReaderNative>> found;
  };
  auto found = std::make_shared<Found>();
  readers->addObserver(found);
  // One poll: the first comes at once, the next would be a long way off.
  enumeration->start(1000000);
  {
    std::unique_lock<std::mutex> guard(found->lock);
    ASSERT_TRUE(found->arrived.wait_for(guard, std::chrono::seconds(10), [&] { return !found->found.empty(); }));
  }
  enumeration->stop();
  std::vector<std::shared_ptr<trevalon::ble::BLEReaderNative>> reported;
  {
    std::lock_guard<std::mutex> guard(found->lock);
    reported = found->found;
  }
  ASSERT_EQ(reported.size(), 1u);
  EXPECT_EQ(reported[0]->getAddress(), "001a7dda7113");
  EXPECT_EQ(reported[0]->getId(), "001a7dda7113");
  EXPECT_EQ(reported[0]->getName(), "test 001a7dda7113");
  const auto items = enumeration->getProvided();
  ASSERT_EQ(items.size(), 1u);
  EXPECT_EQ(items.front().path, "/sim/dev_001a7dda7113");
}

}  // namespace
}  // namespace kelvo::test
