// SPDX-License-Identifier: Apache-2.0
// The BlueZ backend end to end: kelvo-sim publishes emulated readers as org.bluez on a private bus, and the
// library's discovery chain and full reader stacks run over the backend exactly as over bluetoothd.

#include <gtest/gtest.h>

#include <cstdlib>
#include <functional>
#include <future>
#include <map>

#include "KelvoSimProcess.h"
#include "LogCapture.h"
#include "PrivateBus.h"
#include "ReaderEvents.h"
#include "SettingsFixture.h"
#include "StackRelease.h"
#include "trevalon/Reader.h"
#include "trevalon/ble/Backend.h"
#include "trevalon/classic/DevicePipe.h"

using namespace kelvo::test;
using trevalon::classic::DevicePipe;
using Bytes = std::vector<uint8_t>;

namespace {

const char* const kTwoReaders = R"({
  "devices": [
    { "family": "kelvo", "address": "001a7dda7113", "name": "Kelvo 5123456789", "generation": 1,
      "service": "6803", "battery": 80, "usb": 0, "settings": { "6": 1 },
      "card": { "atr": "3B8180018080" } },
    { "family": "kelvo", "address": "c0ffee000102", "name": "KLV21234567890", "generation": 2,
      "service": "6801", "descriptor": { "Serial": "KLV21234567890" }, "battery": 35, "usb": 1 },
    { "family": "none", "address": "a0a1a2a3a4a5", "name": "Heart rate strap" }
  ]
})";

// Every answer to GetDeviceState [0x0d] comes late, so a request is still open when kelvo-sim is killed.
const char* const kSlowReader = R"({
  "devices": [
    { "family": "kelvo", "address": "001a7dda7113", "name": "Kelvo 5123456789",
      "faults": [ { "kind": "delay", "ms": 3000, "method": 13, "times": 0 } ] }
  ]
})";

const char* const kFirst = "001a7dda7113";
const char* const kSecond = "c0ffee000102";

class FoundDevices : public trevalon::ProviderObserver<std::shared_ptr<trevalon::Device>> {
 public:
  void onFound(const std::shared_ptr<trevalon::Device>& device) override {
    {
      std::lock_guard<std::mutex> guard(lock);
      found[device->getAddress()] = device;
    }
    changed.notify_all();
  }
  void onLost(const std::shared_ptr<trevalon::Device>&) override {}
  bool waitFor(size_t count) {
    std::unique_lock<std::mutex> guard(lock);
    return changed.wait_for(guard, std::chrono::seconds(10), [&] { return found.size() >= count; });
  }
  std::map<std::string, std::shared_ptr<trevalon::Device>> byAddress() {
    std::lock_guard<std::mutex> guard(lock);
    return found;
  }

 private:
  std::mutex lock;
  std::condition_variable changed;
  std::map<std::string, std::shared_ptr<trevalon::Device>> found;
};

class BlueZBackendTest : public ::testing::Test {
 protected:
  void SetUp() override { setenv("DBUS_SYSTEM_BUS_ADDRESS", bus.address().c_str(), 1); }

  void TearDown() override {
    if (backend) backend->stop();
    std::vector<std::weak_ptr<trevalon::ble::BLEReader>> bottoms;
    for (const auto& entry : found->byAddress()) bottoms.push_back(bottomOf(entry.second));
    found.reset();
    devices.reset();
    for (const auto& bottom : bottoms) EXPECT_TRUE(waitGone(bottom));
    backend.reset();
    if (sim) {
      EXPECT_EQ(sim->stop().value_or(0), 0) << "kelvo-sim ends cleanly";
    }
    unsetenv("DBUS_SYSTEM_BUS_ADDRESS");
  }

  std::unique_ptr<KelvoSimProcess> startSim(const char* scenario) {
    std::ofstream(settingsStore.directory.file("scenario.json")) << scenario;
    auto process = std::make_unique<KelvoSimProcess>(KELVO_SIM_PROGRAM, settingsStore.directory.file("scenario.json"));
    EXPECT_TRUE(process->start());
    return process;
  }

  void discover(const char* scenario, size_t readers) {
    sim = startSim(scenario);
    backend = trevalon::ble::Backend::create("bluez", "", trevalon::ble::Backend::Options());
    trevalon::Reader::StackOptions options;
    options.cardIdlePeriodMs = 300;
    devices = trevalon::Reader::createDeviceProvider(options);
    devices->setMaster(backend->natives());
    devices->addObserver(found);
    backend->start(std::chrono::milliseconds(100));
    ASSERT_TRUE(found->waitFor(readers));
  }

  static bool eventually(const std::function<bool()>& done) {
    for (int attempt = 0; attempt < 100; ++attempt) {
      if (done()) return true;
      std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    return done();
  }

  std::shared_ptr<trevalon::ble::BLEReaderNative> nativeOf(const std::string& address) {
    for (const auto& native : backend->natives()->getProvided()) {
      if (native->getAddress() == address) return native;
    }
    return nullptr;
  }

  // The device, once available, with a recorder of what it reports from then on.
  std::shared_ptr<trevalon::Device> available(const std::string& address, std::shared_ptr<ReaderEvents>& events) {
    std::shared_ptr<trevalon::Device> device = found->byAddress()[address];
    events = std::make_shared<ReaderEvents>();
    device->addObserver(events);
    if (!device->isAvailable()) {
      if (auto native = nativeOf(address)) native->connect();
      EXPECT_TRUE(events->waitFor("available", 1)) << address;
    }
    return device;
  }

  // Whether GetDeviceState [0x0d], sent past the cache, was answered by the reader with success.
  static bool answered(const std::shared_ptr<trevalon::Device>& device) {
    Bytes response;
    return DevicePipe::InvokeTransmitRpc(device, {13}, response) == 0 && !response.empty() && response[0] == 0;
  }

  static uint8_t batteryOf(const std::shared_ptr<trevalon::Device>& device) {
    Bytes record;
    if (DevicePipe::InvokeGetDeviceState(device, record) != 0 || record.size() != DevicePipe::kDeviceStateSize) {
      return 0xFF;
    }
    return record[2];
  }

  SettingsFixture settingsStore;
  LogCapture capture;
  kelvo::kelvo_sim::PrivateBus bus;
  std::unique_ptr<KelvoSimProcess> sim;
  std::unique_ptr<trevalon::ble::Backend> backend;
  std::shared_ptr<trevalon::Reader::DeviceProvider> devices;
  std::shared_ptr<FoundDevices> found = std::make_shared<FoundDevices>();
};

TEST_F(BlueZBackendTest, ReadersOnTheBusBecomeDevicesAndTheWholeStackRunsOverThem) {
  discover(kTwoReaders, 2);
  std::this_thread::sleep_for(std::chrono::milliseconds(300));
  std::map<std::string, std::shared_ptr<trevalon::Device>> byAddress = found->byAddress();
  ASSERT_EQ(byAddress.size(), 2u) << "the heart rate strap offers no reader service";
  EXPECT_EQ(backend->natives()->getProvided().size(), 2u) << "one native reader each, however often polled";
  EXPECT_EQ(byAddress[kFirst]->getSerial(), "5123456789");
  EXPECT_EQ(nativeOf(kSecond)->getName(), "KLV21234567890") << "Device1.Name";

  std::shared_ptr<ReaderEvents> events;
  std::shared_ptr<trevalon::Device> first = available(kFirst, events);
  Bytes descriptor;
  ASSERT_EQ(DevicePipe::InvokeGetDeviceDescriptor(first, descriptor), 0);
  EXPECT_FALSE(descriptor.empty());
  EXPECT_EQ(batteryOf(first), 80);

  EXPECT_EQ(DevicePipe::InvokeSetSetting(first, {6, 0}), 0);
  EXPECT_TRUE(events->waitFor("buzzer", 0)) << "the reader's own notification of the new setting";

  std::shared_ptr<trevalon::Card> card = first->getSlots().front()->getCard();
  ASSERT_TRUE(card);
  EXPECT_EQ(card->getAtr(), (Bytes{0x3B, 0x81, 0x80, 0x01, 0x80, 0x80}));
  EXPECT_EQ(card->sendAPDU({0x80, 0xEE, 0x00, 0x00, 0x01, 0x42}), (Bytes{0x42, 0x90, 0x00}));

  std::shared_ptr<ReaderEvents> secondEvents;
  std::shared_ptr<trevalon::Device> second = available(kSecond, secondEvents);
  EXPECT_EQ(batteryOf(second), 35) << "a reader offering the service variant ...6801";
  ASSERT_EQ(DevicePipe::InvokeGetDeviceDescriptor(second, descriptor), 0);
  EXPECT_NE(std::string(descriptor.begin(), descriptor.end()).find("KLV21234567890"), std::string::npos);
}

TEST_F(BlueZBackendTest, DroppedLinkMakesTheReaderUnavailableAndItsNextUseReconnectsWithNotifications) {
  discover(kTwoReaders, 2);
  std::shared_ptr<ReaderEvents> events;
  std::shared_ptr<trevalon::Device> first = available(kFirst, events);
  ASSERT_EQ(batteryOf(first), 80);

  ASSERT_EQ(sim->command("drop 001a7dda7113"), "ok");
  EXPECT_TRUE(events->waitFor("available", 0));

  EXPECT_EQ(batteryOf(first), 80) << "the next request connects again";
  EXPECT_TRUE(nativeOf(kFirst)->isConnected());
  ASSERT_EQ(sim->command("battery 001a7dda7113 42"), "ok");
  EXPECT_TRUE(events->waitFor("battery", 42)) << "notifications are subscribed again on the new connection";
}

TEST_F(BlueZBackendTest, RemovedReaderIsLostWithoutHarmToTheOthersAndComesBackAsANewReader) {
  discover(kTwoReaders, 2);
  std::shared_ptr<ReaderEvents> events;
  std::shared_ptr<trevalon::Device> second = available(kSecond, events);
  std::shared_ptr<ReaderEvents> firstEvents;
  std::shared_ptr<trevalon::Device> first = available(kFirst, firstEvents);

  ASSERT_EQ(sim->command("remove-reader c0ffee000102"), "ok");
  EXPECT_TRUE(events->waitFor("available", 0));
  EXPECT_FALSE(answered(second)) << "fails at once: BlueZ no longer knows it";
  EXPECT_TRUE(eventually([&] { return nativeOf(kSecond) == nullptr; })) << "a poll reports it lost";
  EXPECT_EQ(batteryOf(first), 80);

  ASSERT_EQ(sim->command(
                R"(add-reader { "family": "kelvo", "address": "c0ffee000102", "generation": 2, "service": "6801" })"),
            "ok");
  ASSERT_TRUE(eventually([&] { return found->byAddress()[kSecond] != second; })) << "found again, as a new device";
  std::shared_ptr<ReaderEvents> newEvents;
  EXPECT_TRUE(available(kSecond, newEvents)->isAvailable());
  EXPECT_FALSE(second->isAvailable()) << "the removed reader's stack never shares the device with the new one";
  EXPECT_FALSE(answered(second));
  EXPECT_TRUE(answered(found->byAddress()[kSecond]));
  EXPECT_EQ(batteryOf(first), 80);
}

TEST_F(BlueZBackendTest, ReadersComeBackAfterBluetoothdRestarts) {
  discover(kTwoReaders, 2);
  std::shared_ptr<ReaderEvents> events;
  std::shared_ptr<trevalon::Device> first = available(kFirst, events);
  ASSERT_EQ(batteryOf(first), 80);

  EXPECT_EQ(sim->stop(), 0);
  EXPECT_TRUE(events->waitFor("available", 0)) << "every peer is lost with bluetoothd";
  EXPECT_FALSE(answered(first));
  backend->poll();  // a poll while bluetoothd is away cannot ask it, and so reports no reader gone
  EXPECT_NE(nativeOf(kFirst), nullptr);

  sim = startSim(kTwoReaders);
  events->forget();
  EXPECT_TRUE(events->waitFor("available", 1)) << "linked peers are read anew from the new bluetoothd";
  EXPECT_TRUE(answered(first));
  EXPECT_TRUE(capture.contains("bluetoothd left the bus"));
}

TEST_F(BlueZBackendTest, KelvoSimVanishingMidRequestFailsTheRequestInsteadOfHangingIt) {
  discover(kSlowReader, 1);
  std::shared_ptr<ReaderEvents> events;
  std::shared_ptr<trevalon::Device> reader = available(kFirst, events);
  auto pending = std::async(std::launch::async, [reader] { return answered(reader); });
  ASSERT_EQ(pending.wait_for(std::chrono::milliseconds(500)), std::future_status::timeout) << "held by the fault";
  sim->stop(SIGKILL);
  ASSERT_EQ(pending.wait_for(std::chrono::seconds(30)), std::future_status::ready);
  EXPECT_FALSE(pending.get());
  EXPECT_TRUE(events->waitFor("available", 0));
}

}  // namespace
