// SPDX-License-Identifier: Apache-2.0
// Every firmware quirk and every fault switch of the emulated reader doing what it says.

#include <gmock/gmock.h>

#include <algorithm>
#include <chrono>

#include "EmulatorFixture.h"

namespace kelvo::test {
namespace {

using ::testing::ElementsAre;
using kelvo::simulator::KelvoReaderFault;
using kelvo::simulator::KelvoReaderQuirk;

class QuirksAndFaultsTest : public EmulatorFixture {
 protected:
  // Sends a request in the one-write framing and returns the packages as they arrived.
  std::vector<Bytes> rawPackages(const Bytes& request) {
    Bytes frame{static_cast<uint8_t>(request.size()), 0};
    frame.insert(frame.end(), request.begin(), request.end());
    EXPECT_TRUE(host->write(Emulator::kTransmit, frame));
    return host->drain(radio, Emulator::kOutput2);
  }

  static std::vector<int> indices(const std::vector<Bytes>& packages) {
    std::vector<int> result;
    for (const Bytes& package : packages) result.push_back(package.front());
    return result;
  }

  static KelvoReaderFault fault(KelvoReaderFault::Kind kind, std::vector<int> packages = {}) {
    KelvoReaderFault f;
    f.kind = kind;
    f.packages = std::move(packages);
    return f;
  }
};

TEST_F(QuirksAndFaultsTest, QuirksRefuseTheirMethodWithStatusTwo) {
  struct Case {
    KelvoReaderQuirk quirk;
    Bytes request;
  };
  const std::vector<Case> cases = {
      {KelvoReaderQuirk::noSetSettings, {9, 1, 3}}, {KelvoReaderQuirk::noBootloaderRpc, {22, 0}},
      {KelvoReaderQuirk::noSessionKey, {160}},      {KelvoReaderQuirk::noMaxRequestSize, {16}},
      {KelvoReaderQuirk::noStateRequest, {13}},
  };
  start();
  for (const Case& c : cases) {
    const std::string name = kelvo::simulator::readerQuirkName(c.quirk);
    emulator->setQuirk(c.quirk, true);
    std::optional<Bytes> refused = host->transmit(c.request);
    ASSERT_TRUE(refused) << name;
    EXPECT_THAT(*refused, ElementsAre(2)) << name;
    std::optional<Bytes> methods = host->transmit({0});
    ASSERT_TRUE(methods) << name;
    EXPECT_EQ(std::count(methods->begin() + 1, methods->end(), c.request[0]), 0) << name;
    emulator->setQuirk(c.quirk, false);
  }
  EXPECT_EQ(emulator->packSize(), 19u);
  EXPECT_FALSE(emulator->state().bootMode);
}

TEST_F(QuirksAndFaultsTest, OlderReadersStillTakeTheCommandPath) {
  Config config = plainConfig();
  config.quirks = {KelvoReaderQuirk::noSetSettings, KelvoReaderQuirk::noBootloaderRpc};
  start(config);
  ASSERT_TRUE(host->write(Emulator::kIndicate, {5, 4, 0}));
  EXPECT_EQ(emulator->state().setting(4), 0);
  EXPECT_THAT(host->drain(radio, Emulator::kNotification), ElementsAre(Bytes{5, 4, 0}));

  ASSERT_TRUE(host->write(Emulator::kIndicate, {4}));
  radio->waitIdle();
  EXPECT_EQ(emulator->state().bootMode, 0);
  EXPECT_FALSE(emulator->isLinkUp());
  EXPECT_FALSE(radio->getConnection()->isConnected(config.address));
}

TEST_F(QuirksAndFaultsTest, ReorderedPackagesArriveInTheGivenOrder) {
  start();
  const std::vector<Bytes> plain = rawPackages({1});
  ASSERT_GE(plain.size(), 3u);
  emulator->addFault(fault(KelvoReaderFault::Kind::reorderPackages, {2, 0, 1}));
  const std::vector<Bytes> reordered = rawPackages({1});
  ASSERT_EQ(reordered.size(), plain.size());
  EXPECT_EQ(indices(reordered)[0], 2);
  EXPECT_EQ(indices(reordered)[1], 0);
  EXPECT_EQ(indices(reordered)[2], 1);
  for (const Bytes& package : reordered) EXPECT_EQ(package, plain[package.front()]);
}

TEST_F(QuirksAndFaultsTest, DroppedAndRepeatedPackages) {
  start();
  const size_t count = rawPackages({1}).size();
  emulator->addFault(fault(KelvoReaderFault::Kind::dropPackage, {1}));
  std::vector<int> dropped = indices(rawPackages({1}));
  EXPECT_EQ(dropped.size(), count - 1);
  EXPECT_EQ(std::count(dropped.begin(), dropped.end(), 1), 0);

  emulator->addFault(fault(KelvoReaderFault::Kind::repeatPackage, {0}));
  std::vector<int> repeated = indices(rawPackages({1}));
  EXPECT_EQ(repeated.size(), count + 1);
  EXPECT_EQ(std::count(repeated.begin(), repeated.end(), 0), 2);

  // Each fault was used up by one answer.
  EXPECT_EQ(rawPackages({1}).size(), count);
}

TEST_F(QuirksAndFaultsTest, FaultsAffectOnlyTheirMethodAndOnlyTheirNumberOfTimes) {
  start();
  KelvoReaderFault drop = fault(KelvoReaderFault::Kind::dropPackage, {0});
  drop.method = 13;
  drop.times = 2;
  emulator->addFault(drop);
  EXPECT_EQ(rawPackages({5}).size(), 1u);
  EXPECT_TRUE(rawPackages({13}).empty());
  EXPECT_TRUE(rawPackages({13}).empty());
  EXPECT_EQ(rawPackages({13}).size(), 1u);
}

TEST_F(QuirksAndFaultsTest, DelayedAnswerTakesAtLeastItsDelay) {
  start();
  KelvoReaderFault delay = fault(KelvoReaderFault::Kind::delay);
  delay.delayMs = 150;
  emulator->addFault(delay);
  const auto begin = std::chrono::steady_clock::now();
  std::optional<Bytes> response = host->transmit({5});
  const auto elapsed = std::chrono::steady_clock::now() - begin;
  ASSERT_TRUE(response);
  EXPECT_THAT(*response, ElementsAre(0, 80));
  EXPECT_GE(elapsed, std::chrono::milliseconds(150));
}

TEST_F(QuirksAndFaultsTest, LinkDropsAtTheChosenStep) {
  start();
  KelvoReaderFault atRequest = fault(KelvoReaderFault::Kind::dropLink);
  atRequest.method = 13;
  emulator->addFault(atRequest);
  EXPECT_EQ(rawPackages({5}).size(), 1u);
  EXPECT_TRUE(rawPackages({13}).empty());
  EXPECT_FALSE(emulator->isLinkUp());
  EXPECT_FALSE(radio->getConnection()->isConnected(emulator->address()));
  EXPECT_FALSE(host->write(Emulator::kTransmit, {1, 0, 5}));

  emulator->setLinkUp(true);
  radio->waitIdle();
  EXPECT_TRUE(radio->getConnection()->isConnected(emulator->address()));
  KelvoReaderFault midAnswer = fault(KelvoReaderFault::Kind::dropLink);
  midAnswer.afterPackages = 1;
  emulator->addFault(midAnswer);
  EXPECT_THAT(indices(rawPackages({1})), ElementsAre(0));
  EXPECT_FALSE(emulator->isLinkUp());
}

TEST_F(QuirksAndFaultsTest, LongValueCannotBeReadThroughTheRadio) {
  start();
  EXPECT_EQ(host->read(Emulator::kSpareRead).size(), 1u);
  KelvoReaderFault longValue = fault(KelvoReaderFault::Kind::longValue);
  longValue.characteristic = Emulator::kSpareRead;
  longValue.times = 0;
  emulator->addFault(longValue);
  EXPECT_TRUE(host->read(Emulator::kSpareRead).empty());
  EXPECT_TRUE(host->read(Emulator::kSpareRead).empty());
  EXPECT_EQ(emulator->counters().reads(Emulator::kSpareRead), 3u);
  auto direct = emulator->read(emulator->serviceUuid(0x6803), Emulator::characteristicUuid(Emulator::kSpareRead));
  ASSERT_TRUE(direct);
  EXPECT_EQ(direct->size(), 30u);
}

class RandomFaultsTest : public QuirksAndFaultsTest {
 protected:
  static kelvo::simulator::KelvoReaderRandomFaults::Rates packageRates(uint64_t seed) {
    kelvo::simulator::KelvoReaderRandomFaults::Rates rates;
    rates.seed = seed;
    rates.dropPackage = 0.2;
    rates.repeatPackage = 0.2;
    rates.reorderPackages = 0.2;
    return rates;
  }
  // The package indices of `count` descriptor answers as they arrived, one list per answer.
  std::vector<std::vector<int>> descriptorRuns(int count) {
    std::vector<std::vector<int>> runs;
    for (int i = 0; i < count; ++i) runs.push_back(indices(rawPackages({1})));
    return runs;
  }
};

TEST_F(RandomFaultsTest, SameSeedDisturbsTheSameAnswersTheSameWay) {
  start();
  const size_t whole = rawPackages({1}).size();
  ASSERT_GE(whole, 3u);
  emulator->startRandomFaults(packageRates(4711));
  const auto first = descriptorRuns(40);
  emulator->startRandomFaults(packageRates(4711));
  const auto again = descriptorRuns(40);
  emulator->startRandomFaults(packageRates(4712));
  const auto other = descriptorRuns(40);
  EXPECT_EQ(first, again);
  EXPECT_NE(first, other);
  // Every kind of package fault happened: a missing index, a repeated one, one out of order.
  bool missing = false, repeated = false, reordered = false;
  for (const std::vector<int>& arrived : first) {
    for (size_t i = 0; i < whole; ++i) missing = missing || std::count(arrived.begin(), arrived.end(), i) == 0;
    for (size_t i = 0; i < whole; ++i) repeated = repeated || std::count(arrived.begin(), arrived.end(), i) > 1;
    for (size_t i = 1; i < arrived.size(); ++i) reordered = reordered || arrived[i] < arrived[i - 1];
  }
  EXPECT_TRUE(missing && repeated && reordered);
  const auto tally = emulator->randomFaultTally();
  ASSERT_TRUE(tally);
  EXPECT_EQ(tally->served, 40u);
  EXPECT_GT(tally->dropped + tally->repeated + tally->reordered, 0u);
}

TEST_F(RandomFaultsTest, StoppedFaultsLeaveEveryAnswerWhole) {
  start();
  const std::vector<Bytes> whole = rawPackages({1});
  emulator->startRandomFaults(packageRates(1));
  descriptorRuns(20);
  const auto tally = emulator->stopRandomFaults();
  ASSERT_TRUE(tally);
  EXPECT_GT(tally->dropped, 0u);
  EXPECT_FALSE(emulator->randomFaultTally());
  for (int i = 0; i < 20; ++i) EXPECT_EQ(rawPackages({1}), whole);
}

TEST_F(RandomFaultsTest, CorruptedTagsDelaysAndLinkDropsComeAtTheirRates) {
  start();
  kelvo::simulator::KelvoReaderRandomFaults::Rates rates;
  rates.seed = 99;
  rates.delay = 0.5;
  rates.maxDelayMs = 5;
  emulator->startRandomFaults(rates);
  for (int i = 0; i < 200; ++i) ASSERT_EQ(rawPackages({5}).size(), 1u);
  auto tally = emulator->stopRandomFaults();
  ASSERT_TRUE(tally);
  EXPECT_GT(tally->delayed, 60u);
  EXPECT_LT(tally->delayed, 140u);
  EXPECT_EQ(tally->corrupted, 0u) << "plain answers have no tag to corrupt";

  rates.delay = 0;
  rates.dropLink = 1;
  emulator->startRandomFaults(rates);
  for (int i = 0; i < 20; ++i) rawPackages({5});
  tally = emulator->stopRandomFaults();
  ASSERT_TRUE(tally);
  EXPECT_GE(tally->linkDrops, 10u);
  EXPECT_TRUE(emulator->isLinkUp()) << "a reader that lost its link to a random fault stays in range and comes back";
  EXPECT_TRUE(radio->getConnection()->isConnected(emulator->address()));
}

TEST(RandomFaultFieldsTest, NamesAndRangesAreChecked) {
  using kelvo::simulator::KelvoReaderRandomFaults;
  KelvoReaderRandomFaults::Rates rates;
  EXPECT_FALSE(KelvoReaderRandomFaults::setField(rates, "corrupt-tag", 0.01));
  EXPECT_FALSE(KelvoReaderRandomFaults::setField(rates, "max-delay-ms", 2000));
  EXPECT_FALSE(KelvoReaderRandomFaults::setField(rates, "seed", 123456789012.0));
  EXPECT_EQ(rates.corruptTag, 0.01);
  EXPECT_EQ(rates.seed, 123456789012u);
  EXPECT_TRUE(KelvoReaderRandomFaults::setField(rates, "delay", -0.1));
  EXPECT_TRUE(KelvoReaderRandomFaults::setField(rates, "max-delay-ms", 0.5));
  EXPECT_TRUE(KelvoReaderRandomFaults::setField(rates, "seed", 1.5));
  EXPECT_TRUE(KelvoReaderRandomFaults::setField(rates, "fire", 0.1));
}

}  // namespace
}  // namespace kelvo::test
