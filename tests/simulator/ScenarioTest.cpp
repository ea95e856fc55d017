// SPDX-License-Identifier: Apache-2.0
// Scenario files: what they may say, what they build on the radio, and how discovery sees the result.

#include <gmock/gmock.h>

#include <condition_variable>
#include <cstdlib>
#include <fstream>
#include <map>
#include <mutex>
#include <thread>

#include "LogCapture.h"
#include "TempDirectory.h"
#include "kelvo/simulator/scenario/ControlFifo.h"
#include "kelvo/simulator/scenario/Scenario.h"
#include "kelvo/simulator/scenario/ScenarioControl.h"
#include "trevalon/sim/ProviderBLESim.h"
#include "trevalon/sim/ProviderSim.h"

namespace kelvo::test {
namespace {

using kelvo::simulator::KelvoReaderEmulator;
using kelvo::simulator::KelvoReaderFault;
using kelvo::simulator::KelvoReaderQuirk;
using kelvo::simulator::Scenario;
using kelvo::simulator::ScenarioError;
using kelvo::simulator::ScenarioLoader;
using ::testing::HasSubstr;
using ::testing::Not;

const std::string kScenarioDir = KELVO_SCENARIO_DIR;

// Counts the polls, so that a test can wait for several without guessing at time.
class CountingProviderSim : public trevalon::sim::ProviderSim {
 public:
  using ProviderSim::ProviderSim;

  bool waitForPolls(int count) {
    std::unique_lock<std::mutex> guard(lock);
    return polled.wait_for(guard, std::chrono::seconds(10), [&] { return polls >= count; });
  }

 protected:
  void update() override {
    ProviderSim::update();
    {
      std::lock_guard<std::mutex> guard(lock);
      ++polls;
    }
    polled.notify_all();
  }

 private:
  std::mutex lock;
  std::condition_variable polled;
  int polls = 0;
};

class FoundReaders : public trevalon::ProviderObserver<std::shared_ptr<trevalon::ble::BLEReaderNative>> {
 public:
  void onFound(const std::shared_ptr<trevalon::ble::BLEReaderNative>& reader) override {
    std::lock_guard<std::mutex> guard(lock);
    ++found[reader->getAddress()];
    names[reader->getAddress()] = reader->getName();
  }
  void onLost(const std::shared_ptr<trevalon::ble::BLEReaderNative>&) override {}

  std::map<std::string, int> found;
  std::map<std::string, std::string> names;
  std::mutex lock;
};

TEST(ScenarioTest, TwoReadersOfDifferentGenerationsLoad) {
  const std::vector<kelvo::simulator::ScenarioDevice> devices =
      ScenarioLoader::load(kScenarioDir + "/two-readers.json");
  ASSERT_EQ(devices.size(), 3u);
  const auto& first = devices[0].reader;
  EXPECT_EQ(first.generation, 1);
  EXPECT_EQ(first.service, 0x6803);
  EXPECT_EQ(first.settings.at(8), 0xBA);
  EXPECT_EQ(first.ranges[0], std::make_pair(int16_t{480}, int16_t{1080}));
  EXPECT_EQ(first.bonds.at(0).name, "workstation-1");
  EXPECT_EQ(first.preferred, 0);
  ASSERT_TRUE(first.cardAtr);
  EXPECT_EQ(first.cardAtr->size(), 6u);
  EXPECT_EQ(first.quirks, std::set<KelvoReaderQuirk>{KelvoReaderQuirk::noSessionKey});

  const auto& second = devices[1].reader;
  EXPECT_EQ(second.address, "c0ffee000102");  // addresses are kept in lower case, as the radio reports them
  EXPECT_EQ(second.generation, 2);
  EXPECT_EQ(second.service, 0x6801);
  EXPECT_FALSE(second.cardAtr);
  ASSERT_EQ(second.faults.size(), 2u);
  EXPECT_EQ(second.faults[0].kind, KelvoReaderFault::Kind::reorderPackages);
  EXPECT_EQ(second.faults[0].method, 1);
  EXPECT_EQ(second.faults[0].times, 0);
  EXPECT_EQ(second.faults[1].kind, KelvoReaderFault::Kind::longValue);
  EXPECT_EQ(devices[2].family, "none");

  auto radio = trevalon::sim::SimulatedRadio::create();
  const Scenario scenario = Scenario::populate(radio, devices);
  ASSERT_EQ(scenario.readers().size(), 2u);
  EXPECT_EQ(radio->getPeripherals().size(), 3u);
  EXPECT_EQ(scenario.reader("001a7dda7113")->state().cardStatus, 6);
  EXPECT_EQ(scenario.reader("c0ffee000102")->state().usb, 1);
  radio->waitIdle();
  EXPECT_EQ(radio->getConnection()->getProvided().size(), 3u);
}

TEST(ScenarioTest, ShippedDemoScenarioLoads) {
  auto radio = trevalon::sim::SimulatedRadio::create();
  const Scenario scenario = Scenario::fromFile(radio, KELVO_DEMO_SCENARIO);
  ASSERT_EQ(scenario.readers().size(), 2u);
  EXPECT_EQ(scenario.readers()[0]->state().generation, 1);
  EXPECT_EQ(scenario.readers()[1]->state().generation, 2);
  EXPECT_EQ(scenario.peripherals().size(), 3u);
}

TEST(ScenarioTest, RunnableProviderReportsEachReaderOnceHoweverOftenItPolls) {
  auto radio = trevalon::sim::SimulatedRadio::create();
  const Scenario scenario = Scenario::fromFile(radio, kScenarioDir + "/two-readers.json");
  auto found = std::make_shared<FoundReaders>();
  for (uint16_t variant : {0x6803, 0x6801}) {
    auto enumeration = std::make_shared<CountingProviderSim>(radio, KelvoReaderEmulator::serviceUuid(variant));
    auto readers = trevalon::common::createTranslator<trevalon::sim::ProviderBLESim>(enumeration, radio);
    readers->addObserver(found);
    enumeration->start(5);
    ASSERT_TRUE(enumeration->waitForPolls(10));
    enumeration->stop();
  }
  std::lock_guard<std::mutex> guard(found->lock);
  EXPECT_EQ(found->found, (std::map<std::string, int>{{"001a7dda7113", 1}, {"c0ffee000102", 1}}));
  EXPECT_EQ(found->names["c0ffee000102"], "Kelvo K2000000042");
}

TEST(ScenarioTest, ClearMessagesForWhatCannotBeUsed) {
  struct Case {
    const char* json;
    const char* message;
  };
  const std::vector<Case> cases = {
      {R"({"devices": [], "readers": []})", "scenario: unknown field 'readers'"},
      {R"({"devices": [{"family": "kelvo", "address": "001a7dda7113", "colour": "red"}]})",
       "devices[0]: unknown field 'colour'"},
      {R"({"devices": [{"family": "kelvo", "address": "001a7dda711"}]})", "devices[0].address: expected 12"},
      {R"({"devices": [{"family": "kelvo", "address": "001a7dda7113", "quirks": ["no-such"]}]})",
       "devices[0].quirks[0]: unknown quirk 'no-such'"},
      {R"({"devices": [{"family": "kelvo", "address": "001a7dda7113", "generation": 3}]})",
       "devices[0].generation: value 3 is outside 1..2"},
      {R"({"devices": [{"family": "kelvo", "address": "001a7dda7113", "settings": {"16": 1}}]})",
       "devices[0].settings: setting id '16' is not 1 to 15"},
      {R"({"devices": [{"family": "kelvo", "address": "001a7dda7113", "ranges": [[1, 2]]}]})",
       "devices[0].ranges: expected 7 pairs"},
      {R"({"devices": [{"family": "kelvo", "address": "001a7dda7113", "faults": [{"kind": "delay"}]}]})",
       "devices[0].faults[0]: 'delay' needs 'ms'"},
      {R"({"devices": [{"family": "kelvo", "address": "001a7dda7113", "faults": [{"kind": "melt"}]}]})",
       "devices[0].faults[0].kind: unknown fault 'melt'"},
      {R"({"devices": [{"family": "kelvo", "address": "001a7dda7113", "card": {"atr": "3B8"}}]})",
       "devices[0].card.atr: expected an even number"},
      {R"({"devices": [{"family": "pentaloq", "address": "001a7dda7113", "serial": "PQ1"}]})",
       "devices[0].serial: a serial number has 6 characters"},
      {R"({"devices": [{"family": "pentaloq", "address": "001a7dda7113", "generation": 1}]})",
       "devices[0]: unknown field 'generation'"},
      {R"({"devices": [{"family": "pentaloq", "address": "001a7dda7113", "firmware": "1.16"}]})",
       "devices[0].firmware: expected \"major.minor\" with numbers 0 to 15"},
      {R"({"devices": [{"family": "pentaloq", "address": "001a7dda7113", "faults": [{"kind": "result-code"}]}]})",
       "devices[0].faults[0]: 'result-code' needs 'code'"},
      {R"({"devices": [{"family": "kelvo", "address": "001a7dda7113"}, {"family": "pentaloq", "address": "001A7DDA7113"}]})",
       "devices[1].address: address 001a7dda7113 is used twice"},
      {R"({"devices": [{"family": "none", "address": "001a7dda7113", "quirks": []}]})",
       "'quirks' does not apply to family 'none'"},
      {R"({"devices": [{"family": "kelvo", "address": "001a7dda7113"}, {"family": "none", "address": "001A7DDA7113"}]})",
       "devices[1].address: address 001a7dda7113 is used twice"},
      {R"({"devices": [{"family": "kelvo"}]})", "devices[0]: needs 'address'"},
      {R"({"devices": [{"family": "kelvo", "address": "001a7dda7113", "battery": 18446744073709551615}]})",
       "devices[0].battery: value 18446744073709551615 is outside 0..100"},
      {R"({"devices": [{"family": "kelvo", "address": "001a7dda7113", "usb": 0.5}]})",
       "devices[0].usb: expected an integer"},
      {R"({"devices": [{"family": "kelvo", "address": "001a7dda7113", "package-size": 244}]})",
       "devices[0].package-size: value 244 is outside 1..243"},
      {R"({"devices": [{"family": "kelvo", "address": "001a7dda7113", "random-faults": {"drop-package": 1.5}}]})",
       "devices[0].random-faults.drop-package: a rate is a number from 0 to 1"},
      {R"({"devices": [{"family": "kelvo", "address": "001a7dda7113", "random-faults": {"lightning": 0.1}}]})",
       "devices[0].random-faults.lightning: unknown random fault 'lightning'"},
      {R"({"devices": [{"family": "kelvo", "address": "001a7dda7113", "random-faults": {"seed": -1}}]})",
       "devices[0].random-faults.seed: a seed is a whole number"},
      {R"({"devices": [)", "not valid JSON"},
      {R"({"devices": [{"family": "kelvo", "address": "001a7dda7113", "card": {"atr": "3B00", "piv": {"pin": "12345"}}}]})",
       "devices[0].card.piv.pin: a PIN has 6 to 8 digits"},
      {R"({"devices": [{"family": "kelvo", "address": "001a7dda7113", "card": {"atr": "3B00", "piv": {"pin": 123456}}}]})",
       "devices[0].card.piv.pin: expected a string"},
      {R"({"devices": [{"family": "kelvo", "address": "001a7dda7113", "card": {"atr": "3B00", "piv": {"puk": "1234567"}}}]})",
       "devices[0].card.piv.puk: a PUK has 8 digits"},
      {R"({"devices": [{"family": "kelvo", "address": "001a7dda7113", "card": {"atr": "3B00", "piv": {"pin-tries": 16}}}]})",
       "devices[0].card.piv.pin-tries: value 16 is outside 1..15"},
      {R"({"devices": [{"family": "kelvo", "address": "001a7dda7113", "card": {"atr": "3B00", "piv": {"holder": ""}}}]})",
       "devices[0].card.piv.holder: a holder's name has 1 to 64 characters"},
      {R"({"devices": [{"family": "kelvo", "address": "001a7dda7113", "card": {"atr": "3B00", "piv": {"colour": "red"}}}]})",
       "devices[0].card.piv: unknown field 'colour'"},
      {R"({"devices": [{"family": "kelvo", "address": "001a7dda7113", "card": {"atr": "3B00", "piv": true}}]})",
       "devices[0].card.piv: expected an object"},
      {R"({"devices": [{"family": "kelvo", "address": "001a7dda7113", "card": {"piv": {}}}]})",
       "devices[0].card: needs 'atr'"},
      {R"({"devices": [{"family": "pentaloq", "address": "5e0a1c000001", "card": {"atr": "3B00", "piv": {"pin": "abcdef"}}}]})",
       "devices[0].card.piv.pin: a PIN has 6 to 8 digits"},
      {R"({"devices": [{"family": "pentaloq", "address": "5e0a1c000001", "card": {"atr": "3B0"}}]})",
       "devices[0].card.atr: expected an even number"},
  };
  for (const Case& c : cases) {
    try {
      ScenarioLoader::parse(c.json);
      ADD_FAILURE() << "accepted: " << c.json;
    } catch (const ScenarioError& error) {
      EXPECT_THAT(error.what(), HasSubstr(c.message)) << c.json;
    }
  }
}

TEST(ScenarioTest, TheLinkTimingIsOffUnlessGivenAndKeptWithinTheStandardsLimits) {
  EXPECT_FALSE(ScenarioLoader::parseLink(R"({"devices": []})"));
  const auto link = ScenarioLoader::parseLink(
      R"({"devices": [], "link": {"interval-us": 30000, "packets-per-interval": 6, "mtu": 185}})");
  ASSERT_TRUE(link);
  EXPECT_EQ(link->interval, std::chrono::microseconds(30000));
  EXPECT_EQ(link->packetsPerInterval, 6);
  EXPECT_EQ(link->mtu, 185u);
  const std::pair<const char*, const char*> faults[] = {
      {R"({"devices": [], "link": {"interval-us": 7000}})", "link.interval-us: value 7000 is outside 7500..4000000"},
      {R"({"devices": [], "link": {"mtu": 518}})", "link.mtu: value 518 is outside 23..517"},
      {R"({"devices": [], "link": {"packets-per-interval": 0}})", "link.packets-per-interval: value 0 is outside"},
      {R"({"devices": [], "link": {"phy": "2M"}})", "link: unknown field 'phy'"},
  };
  for (const auto& fault : faults) {
    try {
      ScenarioLoader::parseLink(fault.first);
      ADD_FAILURE() << "accepted: " << fault.first;
    } catch (const ScenarioError& error) {
      EXPECT_THAT(error.what(), HasSubstr(fault.second)) << fault.first;
    }
  }
}

TEST(ScenarioTest, PivCardsOfBothFamiliesLoadAndReportTheirStateByCommand) {
  const std::vector<kelvo::simulator::ScenarioDevice> devices = ScenarioLoader::load(kScenarioDir + "/piv-cards.json");
  ASSERT_EQ(devices.size(), 3u);
  ASSERT_TRUE(devices[0].reader.cardPiv);
  EXPECT_EQ(devices[0].reader.cardPiv->holder, "Erika Mustermann");
  ASSERT_TRUE(devices[1].pentaloq.cardPiv);
  EXPECT_EQ(devices[1].pentaloq.cardPiv->puk, "12345678") << "fields left out take the defaults";
  EXPECT_FALSE(devices[2].reader.cardPiv) << "without 'piv' the card stays a plain one";

  Scenario scenario = Scenario::populate(nullptr, devices);
  kelvo::simulator::ScenarioControl control(scenario, nullptr, nullptr);
  struct Case {
    std::string command;
    std::string answer;
  };
  const std::vector<Case> cases = {
      {"piv-state 001a7dda7113", "ok tries 3 pin 123456 blocked no puk-tries 3 verified no"},
      {"piv-state 5E0A1C000001", "ok tries 5 pin 87654321 blocked no puk-tries 3 verified no"},
      {"piv-state 001a7dda8224", "error: the card of 001a7dda8224 has no PIV application"},
      {"piv-state 0000000000ff", "error: no reader 0000000000ff"},
      {"piv-state", "error: 'piv-state' takes 1 argument(s)"},
      // The own card leaves and comes back with its state; an ATR puts a plain card in instead.
      {"remove 001a7dda7113", "ok"},
      {"piv-state 001a7dda7113", "ok tries 3 pin 123456 blocked no puk-tries 3 verified no"},
      {"insert 001a7dda7113", "ok"},
      {"insert 001a7dda7113 3B00", "ok"},
      {"piv-state 001a7dda7113", "ok tries 3 pin 123456 blocked no puk-tries 3 verified no"},
      // The same for a Pentaloq reader's card.
      {"remove 5e0a1c000001", "ok"},
      {"insert 5e0a1c000001", "ok"},
      {"piv-state 5e0a1c000001", "ok tries 5 pin 87654321 blocked no puk-tries 3 verified no"},
  };
  for (const Case& c : cases) EXPECT_EQ(control.execute(c.command), c.answer) << c.command;
  EXPECT_TRUE(kelvo::simulator::ScenarioControl::answerIsSecret(" piv-state 001a7dda7113"));
  EXPECT_FALSE(kelvo::simulator::ScenarioControl::answerIsSecret("settings 001a7dda7113"));
}

TEST(ScenarioTest, ThePinStaysOutOfErrorsAndTheControlPipesLog) {
  try {
    ScenarioLoader::parse(
        R"({"devices": [{"family": "kelvo", "address": "001a7dda7113", "card": {"atr": "3B00", "piv": {"pin": "55555"}}}]})");
    ADD_FAILURE() << "accepted a PIN of five digits";
  } catch (const ScenarioError& error) {
    EXPECT_THAT(error.what(), Not(HasSubstr("55555")));
  }

  Scenario scenario = Scenario::populate(nullptr, ScenarioLoader::load(kScenarioDir + "/piv-cards.json"));
  auto control = std::make_shared<kelvo::simulator::ScenarioControl>(scenario, nullptr, nullptr);
  TempDirectory directory;
  const std::string pipe = directory.file("control");
  LogCapture log;
  std::string answered;
  {
    kelvo::simulator::ControlFifo fifo(pipe, control);
    std::ofstream(pipe) << "piv-state 001a7dda7113\n" << std::flush;
    for (int i = 0; i < 500 && answered.empty(); ++i) {
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
      std::ifstream out(pipe + ".out");
      std::getline(out, answered);
    }
  }
  EXPECT_EQ(answered, "ok tries 3 pin 123456 blocked no puk-tries 3 verified no") << "the answer reaches the test";
  EXPECT_TRUE(log.contains("piv-state 001a7dda7113")) << "the command itself is logged";
  EXPECT_FALSE(log.contains("123456")) << "but not the PIN in its answer";
}

TEST(ScenarioTest, RandomFaultsStartFromTheFileAndAreSwitchedByCommand) {
  auto radio = trevalon::sim::SimulatedRadio::create();
  Scenario scenario = Scenario::populate(radio, ScenarioLoader::parse(R"({"devices": [
      {"family": "kelvo", "address": "001a7dda7113",
       "random-faults": {"seed": 7, "drop-package": 0.05, "corrupt-tag": 0.01, "delay": 0.02, "max-delay-ms": 2000}},
      {"family": "kelvo", "address": "001a7dda8224"}]})"));
  kelvo::simulator::ScenarioControl control(scenario, nullptr, nullptr);
  std::shared_ptr<KelvoReaderEmulator> faulty = scenario.reader("001a7dda7113");
  std::shared_ptr<KelvoReaderEmulator> calm = scenario.reader("001a7dda8224");
  EXPECT_TRUE(faulty->randomFaultTally());
  EXPECT_FALSE(calm->randomFaultTally());

  struct Case {
    std::string command;
    std::string answer;
  };
  const std::vector<Case> cases = {
      {"random-faults 001a7dda8224 drop-package=0.05", "error: 'random-faults' needs seed=N"},
      {"random-faults 001a7dda8224 seed=1 delay=2", "error: delay: a rate is a number from 0 to 1"},
      {"random-faults 001a7dda8224 seed=1 delay", "error: expected name=value, not 'delay'"},
      {"random-faults 001a7dda8224 seed=x", "error: seed: expected a number"},
      {"random-faults 001a7dda8224", "error: 'random-faults' takes 2 argument(s)"},
      {"random-faults 001A7DDA8224 seed=12 repeat-package=0.5 drop-link=0.001", "ok"},
      {"random-faults 001a7dda7113 off",
       "ok served=0 dropped=0 repeated=0 reordered=0 corrupted=0 delayed=0 link-drops=0"},
      {"random-faults 001a7dda7113 off", "ok"},
  };
  for (const Case& c : cases) EXPECT_EQ(control.execute(c.command).rfind(c.answer, 0), 0u) << c.command;
  EXPECT_FALSE(faulty->randomFaultTally());
  EXPECT_TRUE(calm->randomFaultTally());
}

TEST(ScenarioTest, FileErrorsNameTheFile) {
  TempDirectory directory;
  const std::string path = directory.path() + "/broken.json";
  {
    std::ofstream file(path);
    file << R"({"devices": [{"family": "kelvo", "address": "001a7dda7113", "battery": 101}]})";
  }
  try {
    ScenarioLoader::load(path);
    ADD_FAILURE() << "accepted a battery of 101";
  } catch (const ScenarioError& error) {
    EXPECT_THAT(error.what(), HasSubstr(path + ": devices[0].battery: value 101 is outside 0..100"));
  }
  EXPECT_THROW(ScenarioLoader::load(directory.path() + "/missing.json"), ScenarioError);
}

TEST(ScenarioTest, MinimalDeviceGetsTheGenerationsDefaults) {
  const auto devices = ScenarioLoader::parse(
      R"({"devices": [{"family": "kelvo", "address": "001a7dda7113", "generation": 2, "linked": false}]})");
  auto radio = trevalon::sim::SimulatedRadio::create();
  const Scenario scenario = Scenario::populate(radio, devices);
  const auto reader = scenario.readers().at(0);
  EXPECT_FALSE(reader->isLinkUp());
  const auto state = reader->state();
  EXPECT_EQ(state.settings.size(), 15u);
  EXPECT_EQ(state.descriptor.at(0), std::make_pair(std::string("Serial"), std::string("K2000000001")));
  EXPECT_EQ(state.cardStatus, 1);
}

}  // namespace
}  // namespace kelvo::test
