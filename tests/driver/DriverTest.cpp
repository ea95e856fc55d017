// SPDX-License-Identifier: Apache-2.0
// The driver in process on a radio the test controls: sockets follow the readers on the air, and each socket
// answers its own reader's requests through the library.

#include "Driver.h"

#include <gtest/gtest.h>

#include "DriverStatus.h"
#include "FixedSeatSessions.h"
#include "PeerProcess.h"
#include "RawClient.h"
#include "ReaderDiscovery.h"
#include "RequestDispatcher.h"
#include "TempDirectory.h"
#include "TestUsers.h"
#include "TwoReaderScenario.h"
#include "kelvo/simulator/scenario/Scenario.h"
#include "kelvo/simulator/scenario/ScenarioLoader.h"
#include "trevalon/local/Facade.h"
#include "trevalon/local/FileSettings.h"
#include "trevalon/local/LinuxMachine.h"
#include "trevalon/sim/RadioSim.h"

namespace kelvo::driver {
namespace {

using test::RawClient;
using test::TwoReaderScenario;
using namespace std::chrono_literals;

class DriverTest : public ::testing::Test {
 protected:
  void SetUp() override {
    trevalon::local::Facade::instance().setSettings(std::make_shared<trevalon::local::FileSettings>(settings.path()));
    trevalon::local::Facade::instance().setMachine(std::make_shared<trevalon::local::LinuxMachine>());
    scenario.emplace(simulator::Scenario::fromFile(radio, TwoReaderScenario::write(files.file("two.json"))));
    radio->waitIdle();
    discovery = std::make_unique<ReaderDiscovery>(
        std::make_unique<trevalon::ble::Backend>(std::make_unique<trevalon::sim::RadioSim>(radio),
                                                 ReaderDiscovery::backendOptions()),
        50ms);
    // Nobody sits at the seat: the test's own clients are served as the driver's own user.
    driver = std::make_shared<Driver>(files.file("run"),
                                      std::make_shared<PeerPolicy>(std::make_shared<test::FixedSeatSessions>()));
    ASSERT_TRUE(driver->prepareRuntimeDirectory());
    discovery->devices()->addObserver(driver);
    discovery->start();
    ASSERT_TRUE(RawClient::waitForPath(socketOf(TwoReaderScenario::kFirst), true, 10s));
    ASSERT_TRUE(RawClient::waitForPath(socketOf(TwoReaderScenario::kSecond), true, 10s));
  }

  void TearDown() override {
    discovery->stop();
    driver->stopAll();
    discovery.reset();
    driver.reset();
    scenario.reset();
    radio.reset();
    trevalon::local::Facade::instance().setSettings(nullptr);
  }

  std::string socketOf(const std::string& address) { return driver->socketPathOf(address); }

  // Asks until the reader's link is up and its keys agreed; the first requests may find it still connecting.
  std::vector<uint8_t> askAvailable(const std::string& address, const std::vector<uint8_t>& request) {
    std::vector<uint8_t> answer;
    for (int attempt = 0; attempt < 100; ++attempt) {
      answer = RawClient::exchange(socketOf(address), {RequestDispatcher::kGetDeviceState}).value_or(answer);
      if (answer.size() == 45 && answer[0] == kStatusSuccess && answer[1] == 1) break;
      std::this_thread::sleep_for(50ms);
    }
    return RawClient::exchange(socketOf(address), request).value_or(std::vector<uint8_t>{});
  }

  test::TempDirectory files;
  test::TempDirectory settings;
  std::shared_ptr<trevalon::sim::SimulatedRadio> radio = trevalon::sim::SimulatedRadio::create();
  std::optional<simulator::Scenario> scenario;
  std::unique_ptr<ReaderDiscovery> discovery;
  std::shared_ptr<Driver> driver;
};

TEST_F(DriverTest, EachReaderOnTheAirGetsASocketNamedByItsAddressInLowerCase) {
  auto served = driver->servedAddresses();
  EXPECT_EQ(served, (std::vector<std::string>{TwoReaderScenario::kFirst, TwoReaderScenario::kSecond}));
  EXPECT_NE(::access(socketOf(TwoReaderScenario::kNotAReader).c_str(), F_OK), 0);
  EXPECT_EQ(socketOf("001A7DDA8224"), files.file("run") + "/omnivex#ipc#ver6#kelvo_001a7dda8224");
}

TEST_F(DriverTest, EachSocketAnswersForItsOwnReader) {
  const std::vector<uint8_t> first = askAvailable(TwoReaderScenario::kFirst, {RequestDispatcher::kGetDeviceState});
  const std::vector<uint8_t> second = askAvailable(TwoReaderScenario::kSecond, {RequestDispatcher::kGetDeviceState});
  ASSERT_EQ(first.size(), 45u);
  ASSERT_EQ(second.size(), 45u);
  EXPECT_EQ(first[0], kStatusSuccess);
  EXPECT_EQ(first[1 + 2], 80) << "battery of the first reader";
  EXPECT_EQ(second[1 + 2], 15) << "battery of the second reader";
  EXPECT_EQ(second[1 + 6], 1) << "USB cable of the second reader";

  const auto version = RawClient::exchange(socketOf(TwoReaderScenario::kFirst), {RequestDispatcher::kGetDriverVersion});
  ASSERT_TRUE(version.has_value());
  EXPECT_EQ(std::string(version->begin() + 1, version->end()), RequestDispatcher::driverVersion());
  EXPECT_FALSE(RequestDispatcher::driverVersion().empty());
}

TEST_F(DriverTest, MalformedRequestsAreRefusedWithoutRadioTraffic) {
  askAvailable(TwoReaderScenario::kFirst, {RequestDispatcher::kGetDeviceState});
  auto emulator = scenario->reader(TwoReaderScenario::kFirst);
  ASSERT_TRUE(emulator);
  emulator->resetCounters();
  struct Case {
    std::vector<uint8_t> request;
    uint8_t status;
  };
  const std::vector<Case> cases = {
      {{RequestDispatcher::kGetDeviceDescriptor, 0}, kStatusWrongSize},
      {{RequestDispatcher::kGetDeviceState, 1}, kStatusWrongSize},
      {{RequestDispatcher::kSetSetting, 1}, kStatusWrongSize},
      {{RequestDispatcher::kSetSetting, 1, 2, 3}, kStatusWrongSize},
      {std::vector<uint8_t>(28, 0), kStatusUnknownRequest},  // code 0
      {{RequestDispatcher::kSetWorkingTimeRanges, 1, 2, 3}, kStatusWrongSize},
      {{RequestDispatcher::kTransmitRpc}, kStatusWrongSize},
      {{RequestDispatcher::kTransmitRpc, 0x0A, 0, 0}, kStatusRefused},  // setting the clock is the system's
      {{RequestDispatcher::kIndicate, 1}, kStatusWrongSize},
      {{RequestDispatcher::kGetDriverVersion, 1}, kStatusWrongSize},
      {{7}, kStatusUnknownRequest},
      {{0xFF, 1, 2}, kStatusUnknownRequest},
  };
  for (const Case& each : cases) {
    const auto answer = RawClient::exchange(socketOf(TwoReaderScenario::kFirst), each.request);
    ASSERT_TRUE(answer.has_value());
    EXPECT_EQ(*answer, std::vector<uint8_t>{each.status})
        << "request code " << int{each.request[0]} << ", " << each.request.size() << " bytes";
  }
  EXPECT_EQ(emulator->counters().total(), 0u);
}

TEST_F(DriverTest, ARefusedUserHearsTheRefusalAndTheReaderHearsNothing) {
  if (::geteuid() != 0) GTEST_SKIP() << "acting as another user takes root";
  askAvailable(TwoReaderScenario::kFirst, {RequestDispatcher::kGetDeviceState});
  auto emulator = scenario->reader(TwoReaderScenario::kFirst);
  ASSERT_TRUE(emulator);
  emulator->resetCounters();
  ASSERT_EQ(::chmod(files.path().c_str(), 0755), 0);
  const uid_t stranger = test::TestUsers::unknownUid(42000);
  const std::vector<std::vector<uint8_t>> requests = {
      {RequestDispatcher::kGetDeviceState},
      {RequestDispatcher::kSetSetting, 1, 0},
      {RequestDispatcher::kTransmitRpc, 24, '1', '2', '3', '4'},
      {RequestDispatcher::kGetDriverVersion},
  };
  for (const std::vector<uint8_t>& request : requests) {
    EXPECT_EQ(test::PeerProcess::exchange(stranger, stranger, socketOf(TwoReaderScenario::kFirst), request), "fa")
        << "request code " << int{request[0]};
  }
  EXPECT_EQ(emulator->counters().total(), 0u);
  const auto served = askAvailable(TwoReaderScenario::kFirst, {RequestDispatcher::kGetDeviceState});
  ASSERT_FALSE(served.empty());
  EXPECT_EQ(served[0], kStatusSuccess);
}

TEST_F(DriverTest, ReaderLeavingTheAirTakesItsSocketAlongAndComingBackBringsItBack) {
  askAvailable(TwoReaderScenario::kSecond, {RequestDispatcher::kGetDeviceState});
  radio->removePeripheral(TwoReaderScenario::kSecond);
  EXPECT_TRUE(RawClient::waitForPath(socketOf(TwoReaderScenario::kSecond), false, 10s));
  EXPECT_EQ(driver->servedAddresses(), std::vector<std::string>{TwoReaderScenario::kFirst});
  const auto other = askAvailable(TwoReaderScenario::kFirst, {RequestDispatcher::kGetDeviceState});
  ASSERT_EQ(other.size(), 45u);
  EXPECT_EQ(other[0], kStatusSuccess);

  radio->addPeripheral(scenario->reader(TwoReaderScenario::kSecond));
  EXPECT_TRUE(RawClient::waitForPath(socketOf(TwoReaderScenario::kSecond), true, 10s));
  const auto back = askAvailable(TwoReaderScenario::kSecond, {RequestDispatcher::kGetDeviceState});
  ASSERT_EQ(back.size(), 45u);
  EXPECT_EQ(back[1 + 2], 15);
}

TEST_F(DriverTest, AReaderRefusingTheKeyAgreementAsksForAKeyResetOnItsDescriptor) {
  const char* const locked = "001a7dda9335";
  radio->addPeripheral(scenario->add(simulator::ScenarioLoader::parseDevice(
      R"({ "family": "kelvo", "address": "001a7dda9335", "name": "Kelvo 5123450000", "generation": 1,
           "service": "6803", "descriptor": { "Serial": "5123450000" }, "quirks": [ "key-locked" ] })")));
  ASSERT_TRUE(RawClient::waitForPath(socketOf(locked), true, 10s));
  std::vector<uint8_t> answer;
  for (int attempt = 0; attempt < 100 && answer != std::vector<uint8_t>{kStatusKeyResetNeeded}; ++attempt) {
    answer = RawClient::exchange(socketOf(locked), {RequestDispatcher::kGetDeviceDescriptor}).value_or(answer);
    std::this_thread::sleep_for(50ms);
  }
  EXPECT_EQ(answer, std::vector<uint8_t>{kStatusKeyResetNeeded});
  // The other readers keep their keys and answer as before.
  const auto other = askAvailable(TwoReaderScenario::kFirst, {RequestDispatcher::kGetDeviceDescriptor});
  ASSERT_FALSE(other.empty());
  EXPECT_EQ(other[0], kStatusSuccess);
}

TEST_F(DriverTest, StoppingRemovesEverySocket) {
  discovery->stop();
  driver->stopAll();
  EXPECT_TRUE(driver->servedAddresses().empty());
  EXPECT_NE(::access(socketOf(TwoReaderScenario::kFirst).c_str(), F_OK), 0);
  EXPECT_NE(::access(socketOf(TwoReaderScenario::kSecond).c_str(), F_OK), 0);
}

}  // namespace
}  // namespace kelvo::driver
