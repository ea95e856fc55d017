// SPDX-License-Identifier: Apache-2.0
#include <gtest/gtest.h>

#include <thread>

#include "FakeReader.h"
#include "ReaderEvents.h"
#include "trevalon/ReaderCache.h"

using namespace kelvo::test;
using trevalon::DeviceObserver;

namespace {

class ReaderCacheTest : public ::testing::Test {
 protected:
  void SetUp() override {
    cache = trevalon::common::createTranslator<trevalon::ReaderCache>(std::shared_ptr<trevalon::Reader>(lower));
    cache->addObserver(events);
  }

  std::shared_ptr<FakeReader> lower = std::make_shared<FakeReader>();
  std::shared_ptr<trevalon::Reader> cache;
  std::shared_ptr<ReaderEvents> events = std::make_shared<ReaderEvents>();
};

TEST_F(ReaderCacheTest, ReadsGoBelowOnceUntilTheConnectionChanges) {
  EXPECT_EQ(cache->getSerial(), "F123");
  EXPECT_EQ(cache->getSerial(), "F123");
  EXPECT_EQ(lower->calls("getSerial"), 1u);
  lower->raiseDevice(&DeviceObserver::onConnectedChanged, false);
  EXPECT_EQ(events->values("connected"), std::vector<int64_t>{0});
  lower->serial = "F124";
  EXPECT_EQ(cache->getSerial(), "F124");
  EXPECT_EQ(lower->calls("getSerial"), 2u);
  EXPECT_FALSE(cache->isConnected()) << "the event's value is known without asking";
  EXPECT_EQ(lower->calls("isConnected"), 0u);
}

TEST_F(ReaderCacheTest, AnUnknownReadIsKeptUntilAnEventBringsAnother) {
  lower->battery = 0xFF;
  EXPECT_EQ(cache->getBatteryLevel(), 0xFF);
  lower->battery = 70;
  EXPECT_EQ(cache->getBatteryLevel(), 0xFF);
  lower->raiseDevice(&DeviceObserver::onBatteryLevelChanged, uint8_t{0xFF});
  EXPECT_EQ(events->count("battery"), 0u) << "the known value is not news";
  lower->raiseDevice(&DeviceObserver::onBatteryLevelChanged, uint8_t{70});
  lower->raiseDevice(&DeviceObserver::onBatteryLevelChanged, uint8_t{70});
  EXPECT_EQ(events->values("battery"), std::vector<int64_t>{70});
  EXPECT_EQ(cache->getBatteryLevel(), 70);
  EXPECT_EQ(lower->calls("getBatteryLevel"), 1u);
}

TEST_F(ReaderCacheTest, SettersSkipWhatWouldNotChange) {
  EXPECT_EQ(cache->getBuzzerMode(), 1);
  EXPECT_TRUE(cache->setBuzzerMode(1));
  EXPECT_EQ(lower->calls("setBuzzerMode"), 0u);
  EXPECT_EQ(events->count("buzzer"), 0u);

  EXPECT_TRUE(cache->setBuzzerMode(0));
  EXPECT_EQ(lower->calls("setBuzzerMode"), 1u);
  EXPECT_EQ(events->values("buzzer"), std::vector<int64_t>{0});
  EXPECT_EQ(cache->getBuzzerMode(), 0);

  lower->accepts = false;
  EXPECT_FALSE(cache->setBuzzerMode(1));
  EXPECT_EQ(cache->getBuzzerMode(), 0) << "a refused write leaves the known value";
  EXPECT_EQ(events->values("buzzer"), std::vector<int64_t>{0});

  trevalon::kelvo::WorkingTimeRanges ranges = cache->getWorkingTimeRanges();
  EXPECT_TRUE(cache->setWorkingTimeRanges(ranges));
  EXPECT_EQ(lower->calls("setWorkingTimeRanges"), 0u);
  ranges.days[3] = {600, 900};
  EXPECT_FALSE(cache->setWorkingTimeRanges(ranges));
  lower->accepts = true;
  EXPECT_TRUE(cache->setWorkingTimeRanges(ranges));
  EXPECT_EQ(cache->getWorkingTimeRanges(), ranges);
  EXPECT_EQ(lower->calls("getWorkingTimeRanges"), 1u);
}

TEST_F(ReaderCacheTest, ShutdownForgetsTheCardsAtr) {
  lower->state = trevalon::kCardSpecific;
  lower->setAtrs({{0x3B, 0x00}});
  EXPECT_EQ(cache->getAtr(), (std::vector<uint8_t>{0x3B, 0x00}));
  cache->getAtr();
  EXPECT_EQ(lower->calls("getAtr"), 1u);
  EXPECT_TRUE(cache->shutdown());
  cache->getAtr();
  EXPECT_EQ(lower->calls("getAtr"), 2u);
  // So does a card that leaves: the next card has an ATR of its own.
  lower->raiseState(trevalon::kCardAbsent);
  cache->getAtr();
  EXPECT_EQ(lower->calls("getAtr"), 3u);
}

TEST_F(ReaderCacheTest, TheReaderIsItsOwnSlotAndCard) {
  const std::list<std::shared_ptr<trevalon::Slot>> slots = cache->getSlots();
  ASSERT_EQ(slots.size(), 1u);
  EXPECT_EQ(slots.front().get(), static_cast<trevalon::Slot*>(cache.get()));
  struct Case {
    trevalon::CardState state;
    bool card;
  };
  for (const Case& c : std::vector<Case>{{0, false},
                                         {1, false},
                                         {2, true},
                                         {3, true},
                                         {4, true},
                                         {5, true},
                                         {6, true},
                                         {0x81, false},
                                         {0x83, true},
                                         {0x85, true},
                                         {0x86, true}}) {
    lower->raiseState(c.state);
    EXPECT_EQ(static_cast<bool>(cache->getCard()), c.card) << "state " << int(c.state);
  }
  EXPECT_EQ(cache->getName(), "Fake F123");
}

TEST_F(ReaderCacheTest, AValueNewToTwoThreadsAtOnceIsPassedUpOnce) {
  for (uint8_t level = 1; level <= 100; ++level) {
    std::thread first([&] { lower->raiseDevice(&DeviceObserver::onBatteryLevelChanged, level); });
    std::thread second([&] { lower->raiseDevice(&DeviceObserver::onBatteryLevelChanged, level); });
    first.join();
    second.join();
  }
  std::vector<int64_t> seen = events->values("battery");
  EXPECT_EQ(seen.size(), 100u);
}

TEST_F(ReaderCacheTest, KeyRequestsAreAnsweredByTheObserversAbove) {
  class KeyHolder : public ReaderEvents {
   public:
    std::vector<uint8_t> onKeyRequested() override { return {1, 2, 3}; }
  };
  auto holder = std::make_shared<KeyHolder>();
  cache->removeObserver(events);
  cache->addObserver(holder);
  struct Asker : trevalon::DeviceObserver {};
  // The layer below asks through its own observer interface, which the cache implements.
  auto asking = std::dynamic_pointer_cast<trevalon::DeviceObserver>(cache);
  ASSERT_TRUE(asking);
  EXPECT_EQ(asking->onKeyRequested(), (std::vector<uint8_t>{1, 2, 3}));
  cache->removeObserver(holder);
  EXPECT_THROW(asking->onKeyRequested(), std::exception);
}

}  // namespace
