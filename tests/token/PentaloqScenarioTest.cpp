// SPDX-License-Identifier: Apache-2.0
// The Pentaloq readers of a scenario file, reached through the discovery chain like every reader.
#include <gtest/gtest.h>

#include <chrono>
#include <map>
#include <thread>

#include "LogCapture.h"
#include "ReaderEvents.h"
#include "SettingsFixture.h"
#include "kelvo/simulator/scenario/Scenario.h"
#include "trevalon/Reader.h"
#include "trevalon/sim/ProviderBLESim.h"
#include "trevalon/sim/ProviderSim.h"

using namespace kelvo::test;

namespace {

// One enumeration run on the test's thread.
class Enumeration : public trevalon::sim::ProviderSim {
 public:
  using trevalon::sim::ProviderSim::ProviderSim;
  void poll() { update(); }
};

TEST(PentaloqScenarioTest, ScenarioReadersBecomePentaloqDevices) {
  SettingsFixture store;
  LogCapture capture;
  auto radio = trevalon::sim::SimulatedRadio::create();
  kelvo::simulator::Scenario scenario = kelvo::simulator::Scenario::fromFile(radio, KELVO_PENTALOQ_SCENARIO);
  radio->waitIdle();
  ASSERT_EQ(scenario.pentaloqs().size(), 2u);
  ASSERT_TRUE(scenario.pentaloqReader("5e0a1c000002"));
  EXPECT_EQ(scenario.readers().size(), 1u) << "the Kelvo reader beside them";

  auto natives = std::make_shared<trevalon::sim::ProviderBLESim>(radio);
  auto enumeration = std::make_shared<Enumeration>(radio, kelvo::simulator::PentaloqReaderEmulator::serviceUuid());
  enumeration->addObserver(natives);
  auto devices = trevalon::Reader::createDeviceProvider();
  devices->setMaster(natives);
  enumeration->poll();

  std::map<std::string, std::shared_ptr<trevalon::Device>> found;
  for (const auto& device : devices->getProvided()) found[device->getAddress()] = device;
  ASSERT_EQ(found.size(), 2u) << "only the readers offering the Pentaloq service";
  std::vector<std::weak_ptr<trevalon::ble::BLEReaderNative>> bottoms;
  for (const auto& native : natives->getProvided()) bottoms.push_back(native);

  struct Expected {
    const char* address;
    const char* name;
    const char* firmware;
    uint8_t battery;
  };
  for (const Expected& e : {Expected{"5e0a1c000001", "Pentaloq PQ4711", "1.2", 64},
                            Expected{"5e0a1c000002", "Pentaloq PQ4712", "1.3", 9}}) {
    std::shared_ptr<trevalon::Device> device = found[e.address];
    ASSERT_TRUE(device) << e.address;
    auto events = std::make_shared<ReaderEvents>();
    device->addObserver(events);
    for (const auto& native : natives->getProvided()) {
      if (native->getAddress() == e.address) native->connect();
    }
    ASSERT_TRUE(events->waitFor("connected", 1)) << e.address;
    EXPECT_EQ(device->getName(), e.name);
    EXPECT_EQ(device->getFirmware(), e.firmware);
    EXPECT_EQ(device->getBatteryLevel(), e.battery);
  }

  found.clear();
  devices.reset();
  enumeration.reset();
  natives.reset();
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
  for (const auto& bottom : bottoms) {
    while (!bottom.expired() && std::chrono::steady_clock::now() < deadline) {
      std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    EXPECT_TRUE(bottom.expired()) << "the stacks' workers let go before the test ends";
  }
}

}  // namespace
