// SPDX-License-Identifier: Apache-2.0
// The whole in-process path: a scenario on the simulated radio, the discovery chain from enumeration to
// devices, and the device requests on what it found.

#include <gtest/gtest.h>

#include <fstream>
#include <map>

#include "LogCapture.h"
#include "ReaderEvents.h"
#include "SettingsFixture.h"
#include "StackRelease.h"
#include "kelvo/simulator/kelvo/KelvoReaderEmulator.h"
#include "kelvo/simulator/peripheral/OtherPeripheral.h"
#include "kelvo/simulator/scenario/Scenario.h"
#include "trevalon/Reader.h"
#include "trevalon/classic/DevicePipe.h"
#include "trevalon/sim/ProviderBLESim.h"
#include "trevalon/sim/ProviderSim.h"

using namespace kelvo::test;
using kelvo::simulator::KelvoReaderEmulator;
using trevalon::classic::DevicePipe;
using Bytes = std::vector<uint8_t>;

namespace {

const char* const kScenario = R"({
  "devices": [
    { "family": "kelvo", "address": "001a7dda7113", "name": "Kelvo 5123456789", "generation": 1,
      "service": "6803", "battery": 80, "usb": 0,
      "settings": { "1": 2, "2": 1, "3": 0, "4": 1, "6": 1, "8": -70 },
      "ranges": [[480, 1080], [-1, -1], [-1, -1], [-1, -1], [-1, -1], [-1, -1], [8000, 8100]],
      "card": { "atr": "3B8180018080" } },
    { "family": "kelvo", "address": "c0ffee000102", "name": "KLV21234567890", "generation": 2,
      "service": "6801", "descriptor": { "Serial": "KLV21234567890" }, "battery": 35, "usb": 1 },
    { "family": "none", "address": "a0a1a2a3a4a5", "name": "Heart rate strap" }
  ]
})";

// Collects the devices the chain offers.
class FoundDevices : public trevalon::ProviderObserver<std::shared_ptr<trevalon::Device>> {
 public:
  void onFound(const std::shared_ptr<trevalon::Device>& device) override {
    {
      std::lock_guard<std::mutex> guard(lock);
      found.push_back(device);
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
    std::map<std::string, std::shared_ptr<trevalon::Device>> devices;
    for (const auto& device : found) devices[device->getAddress()] = device;
    return devices;
  }

 private:
  std::mutex lock;
  std::condition_variable changed;
  std::vector<std::shared_ptr<trevalon::Device>> found;
};

class DiscoveryTest : public ::testing::Test {
 protected:
  void SetUp() override {
    std::ofstream(settingsStore.directory.file("scenario.json")) << kScenario;
    scenario.emplace(kelvo::simulator::Scenario::fromFile(radio, settingsStore.directory.file("scenario.json")));
    radio->waitIdle();
    trevalon::Reader::StackOptions options;
    options.cardIdlePeriodMs = 300;
    natives = std::make_shared<trevalon::sim::ProviderBLESim>(radio);
    devices = trevalon::Reader::createDeviceProvider(options);
    devices->setMaster(natives);
    devices->addObserver(found);
    // Both variants of the reader service, and a class every peripheral here offers, so that a device that is
    // no reader reaches the factory too.
    for (const trevalon::ble::Uuid& service :
         {KelvoReaderEmulator::serviceUuid(0x6803), KelvoReaderEmulator::serviceUuid(0x6801),
          kelvo::simulator::OtherPeripheral::batteryService()}) {
      auto enumeration = std::make_shared<trevalon::sim::ProviderSim>(radio, service);
      enumeration->addObserver(natives);
      enumerations.push_back(enumeration);
    }
  }
  void TearDown() override {
    for (auto& enumeration : enumerations) enumeration->stop();
    std::vector<std::weak_ptr<trevalon::ble::BLEReader>> bottoms;
    for (const auto& entry : found->byAddress()) bottoms.push_back(bottomOf(entry.second));
    found.reset();
    devices.reset();
    for (const auto& bottom : bottoms) waitGone(bottom);
  }
  void discover() {
    for (auto& enumeration : enumerations) enumeration->start(50);
    ASSERT_TRUE(found->waitFor(2));
  }
  std::shared_ptr<trevalon::Device> available(const std::string& address) {
    std::shared_ptr<trevalon::Device> device = found->byAddress()[address];
    auto events = std::make_shared<ReaderEvents>();
    device->addObserver(events);
    for (const auto& native : natives->getProvided()) {
      if (native->getAddress() == address) native->connect();
    }
    EXPECT_TRUE(events->waitFor("available", 1)) << address;
    return device;
  }

  SettingsFixture settingsStore;
  LogCapture capture;
  std::shared_ptr<trevalon::sim::SimulatedRadio> radio = trevalon::sim::SimulatedRadio::create();
  std::optional<kelvo::simulator::Scenario> scenario;
  std::vector<std::shared_ptr<trevalon::sim::ProviderSim>> enumerations;
  std::shared_ptr<trevalon::sim::ProviderBLESim> natives;
  std::shared_ptr<trevalon::Reader::DeviceProvider> devices;
  std::shared_ptr<FoundDevices> found = std::make_shared<FoundDevices>();
};

TEST_F(DiscoveryTest, ReadersBecomeDevicesAndOtherDevicesAreSkipped) {
  discover();
  for (auto& enumeration : enumerations) enumeration->stop();
  std::map<std::string, std::shared_ptr<trevalon::Device>> byAddress = found->byAddress();
  ASSERT_EQ(byAddress.size(), 2u);
  EXPECT_EQ(devices->getProvided().size(), 2u);
  EXPECT_TRUE(byAddress.count("001a7dda7113"));
  EXPECT_TRUE(byAddress.count("c0ffee000102"));
  EXPECT_EQ(capture.countAt("Warning", "No known service was found for 'Heart rate strap'"), 1u)
      << "tried once, however often it is enumerated";
  EXPECT_EQ(byAddress["001a7dda7113"]->getSerial(), "5123456789") << "known from the name before any contact";
  EXPECT_EQ(byAddress["c0ffee000102"]->getSerial(), "KLV21234567890");
}

TEST_F(DiscoveryTest, DeviceStateSettingsAndTheWarmCache) {
  discover();
  std::shared_ptr<trevalon::Device> device = available("c0ffee000102");
  std::shared_ptr<KelvoReaderEmulator> emulator = scenario->reader("c0ffee000102");
  Bytes record;
  ASSERT_EQ(DevicePipe::InvokeGetDeviceState(device, record), 0);
  ASSERT_EQ(record.size(), 44u);
  const auto state = emulator->state();
  const Bytes expectedHead = {1,
                              1,
                              state.battery,
                              1,
                              0,
                              0,
                              state.usb,
                              1,
                              state.setting(1),
                              state.setting(2),
                              state.setting(3),
                              state.setting(4),
                              0,
                              state.setting(6),
                              0xFF,
                              state.setting(8)};
  EXPECT_EQ(Bytes(record.begin(), record.begin() + 16), expectedHead);

  auto events = std::make_shared<ReaderEvents>();
  device->addObserver(events);
  EXPECT_EQ(DevicePipe::InvokeSetSetting(device, {6, 0}), 0);
  EXPECT_EQ(emulator->state().setting(6), 0);
  EXPECT_TRUE(events->waitFor("buzzer", 0));

  emulator->resetCounters();
  Bytes warm;
  ASSERT_EQ(DevicePipe::InvokeGetDeviceState(device, warm), 0);
  EXPECT_EQ(warm[13], 0) << "the new buzzer setting";
  EXPECT_EQ(emulator->counters().total(), 0u) << "a warm cache answers the whole record";
}

TEST_F(DiscoveryTest, ApduExchangeFollowsTheCardSleepsAndWakes) {
  discover();
  std::shared_ptr<trevalon::Device> device = available("001a7dda7113");
  std::shared_ptr<KelvoReaderEmulator> emulator = scenario->reader("001a7dda7113");
  std::shared_ptr<trevalon::Slot> slot = device->getSlots().front();
  auto events = std::make_shared<ReaderEvents>();
  slot->addObserver(events);
  ASSERT_EQ(slot->getState(), trevalon::kCardPresent);
  std::shared_ptr<trevalon::Card> card = slot->getCard();
  ASSERT_TRUE(card);

  EXPECT_TRUE(card->sendAPDU({0x80, 0xEE, 0x00, 0x00, 0x01, 0x42}).empty()) << "not powered yet";
  EXPECT_EQ(card->getAtr(), (Bytes{0x3B, 0x81, 0x80, 0x01, 0x80, 0x80}));
  EXPECT_EQ(slot->getState(), trevalon::kCardSpecific);
  EXPECT_EQ(card->getProtocol(), trevalon::kProtocolT0) << "the first protocol the ATR offers";
  EXPECT_EQ(card->sendAPDU({0x80, 0xEE, 0x00, 0x00, 0x01, 0x42}), (Bytes{0x42, 0x90, 0x00}));

  ASSERT_TRUE(events->waitFor("state", trevalon::kCardAsleepSpecific)) << "asleep after the idle period";
  EXPECT_EQ(emulator->state().cardStatus, 2) << "the reader powered the card down";
  EXPECT_EQ(slot->getState(), trevalon::kCardAsleepSpecific);
  Bytes record;
  DevicePipe::InvokeGetDeviceState(device, record);
  EXPECT_EQ(record[1], 6) << "a sleeping card is still a ready card to the application";

  EXPECT_EQ(card->sendAPDU({0x00, 0xA4, 0x04, 0x00, 0x02, 0xA0, 0x00}), (Bytes{0x6A, 0x82}));
  EXPECT_EQ(slot->getState(), trevalon::kCardNegotiable) << "woken by the APDU";
  EXPECT_EQ(emulator->state().cardStatus, 6);
}

}  // namespace
