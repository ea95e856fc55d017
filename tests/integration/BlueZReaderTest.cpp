// SPDX-License-Identifier: Apache-2.0
// The native reader on BlueZ against kelvo-sim, seen from right above it: what reaches the observers for
// connections, reads, writes, subscriptions and notifications, and what never reaches the bus.

#include <gtest/gtest.h>

#include <condition_variable>
#include <cstdlib>
#include <fstream>
#include <mutex>

#include "KelvoSimProcess.h"
#include "LogCapture.h"
#include "PrivateBus.h"
#include "TempDirectory.h"
#include "kelvo/simulator/kelvo/KelvoReaderEmulator.h"
#include "trevalon/bluez/BLEConnectionBlueZ.h"
#include "trevalon/bluez/BLEReaderBlueZ.h"

using kelvo::simulator::KelvoReaderEmulator;
using trevalon::ble::Uuid;
using Bytes = std::vector<uint8_t>;

namespace {

const char* const kAddress = "001a7dda7113";
const char* const kPath = "/org/bluez/hci0/dev_00_1A_7D_DA_71_13";
const Uuid kService = KelvoReaderEmulator::serviceUuid(0x6803);
const Uuid kSpareRead = KelvoReaderEmulator::characteristicUuid(KelvoReaderEmulator::kSpareRead);
const Uuid kInput = KelvoReaderEmulator::characteristicUuid(KelvoReaderEmulator::kInput);
const Uuid kNotification = KelvoReaderEmulator::characteristicUuid(KelvoReaderEmulator::kNotification);

class NativeEvents : public trevalon::ble::BLEReaderNativeObserver {
 public:
  struct Event {
    std::string name;
    Uuid characteristic;
    Bytes data;
    bool flag = false;
  };

  void onAvailableChanged(bool value) override { record({"available", {}, {}, value}); }
  void onConnectedChanged(bool value) override { record({"connected", {}, {}, value}); }
  void onPairedChanged(bool value) override { record({"paired", {}, {}, value}); }
  void onCharacteristicRead(Uuid, Uuid characteristic, Bytes data) override { record({"read", characteristic, data}); }
  void onCharacteristicWritten(Uuid, Uuid characteristic, bool ok) override {
    record({"written", characteristic, {}, ok});
  }
  void onCharacteristicChanged(Uuid, Uuid characteristic, Bytes data) override {
    record({"changed", characteristic, data});
  }

  size_t count(const std::string& name) {
    std::lock_guard<std::mutex> guard(lock);
    size_t hits = 0;
    for (const Event& event : seen) hits += event.name == name;
    return hits;
  }
  bool waitForCount(const std::string& name, size_t count) {
    std::unique_lock<std::mutex> guard(lock);
    return changed.wait_for(guard, std::chrono::seconds(10), [&] { return countLocked(name) >= count; });
  }
  // The last event of that name, waiting for one if there is none yet.
  std::optional<Event> last(const std::string& name) {
    std::unique_lock<std::mutex> guard(lock);
    changed.wait_for(guard, std::chrono::seconds(10), [&] { return countLocked(name) > 0; });
    for (auto event = seen.rbegin(); event != seen.rend(); ++event) {
      if (event->name == name) return *event;
    }
    return std::nullopt;
  }

 private:
  size_t countLocked(const std::string& name) const {
    size_t hits = 0;
    for (const Event& event : seen) hits += event.name == name;
    return hits;
  }
  void record(Event event) {
    {
      std::lock_guard<std::mutex> guard(lock);
      seen.push_back(std::move(event));
    }
    changed.notify_all();
  }

  std::mutex lock;
  std::condition_variable changed;
  std::vector<Event> seen;
};

class BlueZReaderTest : public ::testing::Test {
 protected:
  void SetUp() override { setenv("DBUS_SYSTEM_BUS_ADDRESS", bus.address().c_str(), 1); }
  void TearDown() override {
    reader.reset();
    watcher.reset();
    if (sim) {
      EXPECT_EQ(sim->stop().value_or(0), 0) << "kelvo-sim ends cleanly";
    }
    unsetenv("DBUS_SYSTEM_BUS_ADDRESS");
  }

  void start(const std::string& device, std::vector<std::string> options = {}) {
    std::ofstream(directory.file("scenario.json")) << R"({ "devices": [ )" << device << " ] }";
    sim = std::make_unique<kelvo::test::KelvoSimProcess>(KELVO_SIM_PROGRAM, directory.file("scenario.json"),
                                                         std::move(options));
    ASSERT_TRUE(sim->start());
    watcher = trevalon::bluez::BLEConnectionBlueZ::create();
    ASSERT_TRUE(watcher);
    reader = trevalon::bluez::BLEReaderBlueZ::create(watcher, kAddress, kAddress, "Kelvo", kPath);
    reader->addObserver(events);
  }

  kelvo::test::TempDirectory directory;
  kelvo::test::LogCapture capture;
  kelvo::kelvo_sim::PrivateBus bus;
  std::unique_ptr<kelvo::test::KelvoSimProcess> sim;
  std::shared_ptr<trevalon::bluez::BLEConnectionBlueZ> watcher;
  std::shared_ptr<trevalon::bluez::BLEReaderBlueZ> reader;
  std::shared_ptr<NativeEvents> events = std::make_shared<NativeEvents>();
};

TEST_F(BlueZReaderTest, ConnectionsPropertiesAndSubscriptionsReachTheObserversOnce) {
  start(R"({ "family": "kelvo", "address": "001a7dda7113", "battery": 80 })");
  reader->disconnect();
  EXPECT_EQ(events->count("connected"), 0u) << "nothing to end";
  EXPECT_FALSE(reader->hasService(kService, {})) << "not connected";

  EXPECT_TRUE(reader->connect());
  EXPECT_TRUE(reader->connect());
  EXPECT_EQ(events->count("connected"), 1u);
  EXPECT_TRUE(reader->hasService(kService, {kSpareRead, kNotification}));
  EXPECT_FALSE(reader->hasService(kService, {KelvoReaderEmulator::characteristicUuid(0x0042)}));
  EXPECT_FALSE(reader->hasService(KelvoReaderEmulator::serviceUuid(0x6801), {}));

  reader->readCharacteristic(kService, kInput);
  EXPECT_TRUE(events->last("read")->data.empty());
  EXPECT_TRUE(capture.contains("Characteristic not readable"));
  reader->writeCharacteristic(kService, kNotification, {0x01});
  EXPECT_FALSE(events->last("written")->flag);
  EXPECT_TRUE(capture.contains("Characteristic not writeable"));
  EXPECT_FALSE(capture.contains("WriteValue")) << "refused before the bus";
  EXPECT_FALSE(reader->registerCharacteristic(kService, kSpareRead)) << "no notifications on a readable value";
  EXPECT_FALSE(reader->setPaired(true));

  EXPECT_FALSE(reader->isAvailable());
  ASSERT_TRUE(reader->registerCharacteristic(kService, kNotification));
  ASSERT_TRUE(reader->registerCharacteristic(kService, kNotification));
  EXPECT_TRUE(reader->isAvailable());
  EXPECT_EQ(events->count("available"), 1u);
  ASSERT_EQ(sim->command("battery 001a7dda7113 33"), "ok");
  std::optional<NativeEvents::Event> notified = events->last("changed");
  ASSERT_TRUE(notified);
  EXPECT_EQ(notified->characteristic, kNotification);
  EXPECT_FALSE(notified->data.empty());

  EXPECT_TRUE(reader->unregisterCharacteristic(kService, kNotification));
  ASSERT_EQ(sim->command("battery 001a7dda7113 34"), "ok");
  // Values come in order: once a value after subscribing again is here, one sent in between would be too.
  ASSERT_TRUE(reader->registerCharacteristic(kService, kNotification));
  ASSERT_EQ(sim->command("battery 001a7dda7113 35"), "ok");
  ASSERT_TRUE(events->waitForCount("changed", 2));
  EXPECT_EQ(events->count("changed"), 2u) << "no value while unsubscribed";
  reader->disconnect();
  EXPECT_FALSE(events->last("connected")->flag);
  EXPECT_FALSE(reader->isConnected());
}

TEST_F(BlueZReaderTest, ConnectingWaitsForGattObjectsExportedAfterTheServicesWereReportedResolved) {
  start(R"({ "family": "kelvo", "address": "001a7dda7113" })", {"--gatt-delay", "400"});
  ASSERT_EQ(sim->command("drop 001a7dda7113"), "ok");
  // The link is back at once; its GATT objects come 400 ms later.
  EXPECT_TRUE(reader->connect());
  EXPECT_TRUE(reader->hasService(kService, {kSpareRead, kNotification}));
  EXPECT_TRUE(reader->registerCharacteristic(kService, kNotification));
}

TEST_F(BlueZReaderTest, AValueLongerThanAPlatformBufferIsDeliveredWhole) {
  start(R"({ "family": "kelvo", "address": "001a7dda7113",
             "faults": [ { "kind": "long-value", "characteristic": "0006" } ] })");
  ASSERT_TRUE(reader->connect());
  reader->readCharacteristic(kService, kSpareRead);
  EXPECT_EQ(events->last("read")->data.size(), 30u);
}

TEST_F(BlueZReaderTest, UnpairingRemovesTheDeviceFromItsAdapterAndAGoneBluetoothdFailsIt) {
  start(R"({ "family": "kelvo", "address": "001a7dda7113" })");
  EXPECT_TRUE(reader->setPaired(false));
  EXPECT_EQ(sim->stop(), 0);
  EXPECT_FALSE(reader->setPaired(false));
  EXPECT_TRUE(capture.contains("org.bluez.Adapter1.RemoveDevice(/org/bluez/hci0) failed"));
  EXPECT_FALSE(reader->connect()) << "fails at once with bluetoothd gone";
}

}  // namespace
