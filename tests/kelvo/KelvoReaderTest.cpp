// SPDX-License-Identifier: Apache-2.0
#include <gtest/gtest.h>

#include <ctime>

#include "KelvoStack.h"
#include "LogCapture.h"
#include "ScriptedTransport.h"
#include "SettingsFixture.h"

using namespace kelvo::test;
using kelvo::simulator::KelvoReaderConfig;
using kelvo::simulator::ReaderBond;
using kelvo::simulator::KelvoReaderQuirk;
using trevalon::kelvo::KelvoReader;
using trevalon::kelvo::KelvoReaderKelvoBLEReaderTranslator;
using trevalon::kelvo::WorkingTimeRanges;
using Bytes = std::vector<uint8_t>;

namespace {

class ReaderEvents : public trevalon::kelvo::KelvoReaderObserver {
 public:
  void onSettingChanged(uint8_t id, uint8_t value) override {
    record([&] { settings.emplace_back(id, value); });
  }
  void onCardStatusChanged(uint8_t status) override {
    record([&] { cards.push_back(status); });
  }
  void onBatteryLevelChanged(uint8_t level) override {
    record([&] { batteries.push_back(level); });
  }
  void onUsbCableStatusChanged(uint8_t status) override {
    record([&] { usb.push_back(status); });
  }
  void onAvailableChanged(bool value) override {
    record([&] { available.push_back(value); });
  }
  void onConnectedChanged(bool) override {}
  void onPairedChanged(bool) override {}
  void onEncryptionChanged(uint8_t value) override {
    record([&] { encryption.push_back(value); });
  }
  void onEvent(uint32_t) override {}

  bool waitFor(const std::function<bool()>& condition) {
    std::unique_lock<std::mutex> guard(lock);
    return changed.wait_for(guard, std::chrono::seconds(10), condition);
  }
  template <typename T>
  T read(const T& field) {
    std::lock_guard<std::mutex> guard(lock);
    return field;
  }
  // What came with the reader's arrival is not what a test is about.
  void forget() {
    std::lock_guard<std::mutex> guard(lock);
    settings.clear();
    cards.clear();
    batteries.clear();
    usb.clear();
    encryption.clear();
  }

  std::mutex lock;
  std::condition_variable changed;
  std::vector<std::pair<uint8_t, uint8_t>> settings;
  std::vector<uint8_t> cards, batteries, usb, encryption;
  std::vector<bool> available;

 private:
  template <typename F>
  void record(F change) {
    {
      std::lock_guard<std::mutex> guard(lock);
      change();
    }
    changed.notify_all();
  }
};

// The full Kelvo stack of one emulated reader, up to the reader functions.
class ReaderFunctions : public ::testing::Test {
 protected:
  void build(const KelvoReaderConfig& config) {
    StackOptions options;
    options.encrypted = true;
    stack = std::make_unique<KelvoStack>(config, options);
    reader = trevalon::common::createTranslator<KelvoReaderKelvoBLEReaderTranslator>(stack->proxy);
    reader->addObserver(events);
    stack->ble->hasService(trevalon::ble::kReaderService, {});
    ASSERT_TRUE(events->waitFor([&] { return !events->available.empty() && events->available.back(); }));
    stack->emulator->resetCounters();
    events->forget();
  }
  static KelvoReaderConfig standard() {
    KelvoReaderConfig config;
    config.settings = {{1, 2}, {2, 1}, {8, 0xC4}};
    config.bonds = {ReaderBond{0, "workstation-1"}, ReaderBond{3, "laptop"}};
    config.preferred = 3;
    return config;
  }

  SettingsFixture settingsStore;
  LogCapture capture;
  std::unique_ptr<KelvoStack> stack;
  std::shared_ptr<KelvoReader> reader;
  std::shared_ptr<ReaderEvents> events = std::make_shared<ReaderEvents>();
};

TEST_F(ReaderFunctions, AvailabilityLoadsDescriptorSettingsAndStateWithoutFurtherTraffic) {
  build(standard());
  EXPECT_EQ(reader->getDescriptor("Serial"), "5123456789") << "five packed bytes read as ten digits";
  EXPECT_EQ(reader->getDescriptor("MAC"), "1371da7d1a00") << "the bytes as they come, least significant first";
  EXPECT_EQ(reader->getDescriptor("Firmware"), "1.4.2");
  EXPECT_EQ(reader->getDescriptor("Nothing"), "");
  EXPECT_EQ(reader->getSetting(1), 2);
  EXPECT_EQ(reader->getSetting(8), 0xC4);
  EXPECT_EQ(reader->getSetting(16), 0xFF);
  EXPECT_EQ(reader->getBatteryLevel(), 80);
  EXPECT_EQ(reader->getUsbCableStatus(), 0);
  EXPECT_EQ(reader->getCardStatus(), KelvoReader::kCardAbsent);
  EXPECT_EQ(stack->emulator->counters().total(), 0u) << "all of it came from the cache";
}

TEST_F(ReaderFunctions, ASecondGenerationSerialIsText) {
  KelvoReaderConfig config = standard();
  config.generation = 2;
  config.name = "Kelvo K2000000001";
  build(config);
  EXPECT_EQ(reader->getDescriptor("Serial"), "K2000000001");
}

TEST_F(ReaderFunctions, SettingsGoThroughSetSettingsOrTheOlderCommand) {
  for (bool older : {false, true}) {
    KelvoReaderConfig config = standard();
    if (older) config.quirks = {KelvoReaderQuirk::noSetSettings};
    events = std::make_shared<ReaderEvents>();
    build(config);
    ASSERT_TRUE(reader->setSetting(6, 0)) << older;
    EXPECT_EQ(reader->getSetting(6), 0) << older;
    ASSERT_TRUE(events->waitFor([&] { return stack->emulator->state().setting(6) == 0; })) << older;
    EXPECT_EQ(events->read(events->settings).front(), std::make_pair(uint8_t{6}, uint8_t{0})) << older;
    EXPECT_EQ(stack->emulator->counters().writes(kelvo::simulator::KelvoReaderEmulator::kIndicate) > 0, older);
  }
}

TEST_F(ReaderFunctions, BondingsWorkingTimesClockNameAndFlash) {
  build(standard());
  EXPECT_EQ(reader->getBonded(), (std::list<std::string>{"workstation-1", "laptop"}));
  EXPECT_EQ(reader->getPrefered(), "laptop");
  stack->emulator->resetCounters();
  EXPECT_FALSE(reader->eraseBond("unknown"));
  EXPECT_EQ(stack->emulator->counters().total(), 0u) << "an unknown name costs no traffic";
  EXPECT_TRUE(reader->eraseBond("laptop"));
  EXPECT_EQ(stack->emulator->state().bonds.count(3), 0u);

  WorkingTimeRanges ranges;
  ranges.days[1] = {480, 1080};
  ranges.days[6] = {8640, 9000};
  ASSERT_TRUE(reader->setWorkingTimeRanges(ranges));
  EXPECT_EQ(reader->getWorkingTimeRanges(), ranges);

  ASSERT_TRUE(reader->setLocalTime());
  const std::time_t now = std::time(nullptr);
  std::tm local{};
  localtime_r(&now, &local);
  ASSERT_TRUE(stack->emulator->state().localTime);
  EXPECT_LE(std::abs(int(*stack->emulator->state().localTime) -
                     int(KelvoReaderKelvoBLEReaderTranslator::minuteOfWeek(local))),
            1);

  EXPECT_FALSE(reader->setClientName(""));
  EXPECT_TRUE(capture.containsAt("Warning", "Name was empty"));
  EXPECT_TRUE(reader->setClientName("workstation-7"));
  EXPECT_EQ(stack->emulator->state().clientName, "workstation-7");

  Bytes image(4500);
  for (size_t i = 0; i < image.size(); ++i) image[i] = static_cast<uint8_t>(i * 13);
  ASSERT_TRUE(reader->writeExternalFlash(image));
  EXPECT_EQ(stack->emulator->externalFlash(0, 4500), image) << "the last 500 bytes are written too";
}

TEST_F(ReaderFunctions, BootModeByMethodOrByCommand) {
  for (bool older : {false, true}) {
    KelvoReaderConfig config = standard();
    if (older) config.quirks = {KelvoReaderQuirk::noBootloaderRpc};
    events = std::make_shared<ReaderEvents>();
    build(config);
    EXPECT_TRUE(reader->forceBootMode()) << older;
    ASSERT_TRUE(events->waitFor([&] { return stack->emulator->state().bootMode.has_value(); })) << older;
  }
}

TEST_F(ReaderFunctions, SmartCardChannel) {
  KelvoReaderConfig config = standard();
  config.cardAtr = Bytes{0x3B, 0x81, 0x80, 0x01, 0x80, 0x80};
  build(config);
  EXPECT_NE(reader->getCardStatus(), KelvoReader::kCardAbsent);
  const auto reset = reader->command(1, {});
  EXPECT_EQ(reset.status, 0);
  EXPECT_EQ(reset.payload, *config.cardAtr);
  const Bytes echo = {0x80, 0xEE, 0x00, 0x00, 0x03, 0x01, 0x02, 0x03};
  const auto answer = reader->command(5, echo);
  EXPECT_EQ(answer.payload, (Bytes{0x01, 0x02, 0x03, 0x90, 0x00}));
  stack->emulator->removeCard();
  ASSERT_TRUE(
      events->waitFor([&] { return !events->cards.empty() && events->cards.back() == KelvoReader::kCardAbsent; }));
  EXPECT_EQ(reader->getCardStatus(), KelvoReader::kCardAbsent);
}

TEST_F(ReaderFunctions, NotificationsUpdateTheCache) {
  build(standard());
  stack->emulator->sendNotification({7, 101});
  stack->emulator->sendNotification({1, 4});
  ASSERT_TRUE(events->waitFor([&] { return !events->cards.empty(); }));
  EXPECT_EQ(events->read(events->cards).back(), KelvoReader::kCardUnknown) << "card state 4 counts as unknown";
  stack->emulator->sendNotification({7, 100});
  ASSERT_TRUE(events->waitFor([&] { return !events->batteries.empty(); }));
  EXPECT_EQ(events->read(events->batteries), Bytes{100}) << "101 is not a battery level";
  EXPECT_EQ(reader->getBatteryLevel(), 100);
  stack->emulator->sendNotification({6, 1});
  stack->emulator->sendNotification({5, 4, 3});
  stack->emulator->sendNotification({3, 1});
  ASSERT_TRUE(events->waitFor(
      [&] { return !events->usb.empty() && !events->settings.empty() && !events->encryption.empty(); }));
  EXPECT_EQ(reader->getUsbCableStatus(), 1);
  EXPECT_EQ(reader->getSetting(4), 3);
  EXPECT_EQ(events->read(events->encryption), Bytes{1});
}

TEST_F(ReaderFunctions, ADisconnectionEmptiesTheCache) {
  build(standard());
  stack->native->disconnect();
  ASSERT_TRUE(events->waitFor([&] { return !events->cards.empty() && events->cards.back() == 0; }));
  stack->emulator->setBatteryLevel(55);
  stack->radio->waitIdle();
  stack->emulator->resetCounters();
  EXPECT_EQ(reader->getBatteryLevel(), 55) << "asked again, not taken from the old cache";
  EXPECT_GT(stack->emulator->counters().total(), 0u);
}

// Malformed descriptors and lists that the emulated reader would never send.
TEST(ReaderParsers, DescriptorSections) {
  SettingsFixture settingsStore;
  struct Case {
    const char* name;
    Bytes payload;
    std::map<std::string, std::string> expected;
    const char* warning;
  };
  const Case cases[] = {
      {"MAC in packed digits",
       {0x0C, 0x0B, 0x03, 'M', 'A', 'C', 0x06, 0x00, 0x1A, 0x7D, 0xDA, 0x71, 0x13},
       {{"MAC", "001a7dda7113"}},
       nullptr},
      {"inconsistent section size",
       {0x0C, 0x09, 0x03, 'M', 'A', 'C', 0x06, 0x00, 0x1A, 0x7D, 0xDA, 0x71, 0x13},
       {},
       "section inconsistent size 'MAC': S=9 K=3 V=6"},
      {"bytes after L + 1 are not read",
       {0x07, 0x06, 0x01, 'X', 0x03, 'a', 'b', 'c', 0x06, 0x01, 'Y', 0x03, 'd', 'e', 'f'},
       {{"X", "abc"}},
       nullptr},
      {"a serial of 12 bytes is text",
       {0x15, 0x14, 0x06, 'S', 'e', 'r', 'i', 'a', 'l', 0x0C, '5',
        '1',  '2',  '3',  '4', '5', '6', '7', '8', '9', 'A',  'B'},
       {{"Serial", "5123456789AB"}},
       nullptr},
      {"a value running past the payload",
       {0x20, 0x1E, 0x01, 'Z', 0x1B, 'a', 'b'},
       {},
       "descriptor value of 'Z' runs past the descriptor"},
      {"a key running past the payload", {0x20, 0x1E, 0x40, 'Z'}, {}, "descriptor key runs past the descriptor"},
  };
  for (const Case& c : cases) {
    LogCapture capture;
    auto transport = std::make_shared<ScriptedTransport>();
    transport->answer(1, [&] {
      Bytes response{0};
      response.insert(response.end(), c.payload.begin(), c.payload.end());
      return response;
    }());
    auto reader = trevalon::common::createTranslator<KelvoReaderKelvoBLEReaderTranslator>(
        std::shared_ptr<trevalon::kelvo::KelvoBLEReader>(transport));
    for (const std::string key : {"MAC", "X", "Y", "Serial", "Z"}) {
      auto expected = c.expected.find(key);
      EXPECT_EQ(reader->getDescriptor(key), expected == c.expected.end() ? "" : expected->second) << c.name << key;
    }
    if (c.warning) {
      EXPECT_TRUE(capture.containsAt("Warning", c.warning)) << c.name;
    }
  }
}

TEST(ReaderParsers, SettingsBondsAndState) {
  SettingsFixture settingsStore;
  auto transport = std::make_shared<ScriptedTransport>();
  transport->answer(8, {0, 1, 2, 0x20, 5, 8, 0xC4, 9});
  transport->answer(14, {0, 2, 0, 3, 'o', 'n', 'e', 2, 200, 't'});
  transport->answer(13, {0, 0, 4, 77, 7});
  auto reader = trevalon::common::createTranslator<KelvoReaderKelvoBLEReaderTranslator>(
      std::shared_ptr<trevalon::kelvo::KelvoBLEReader>(transport));
  EXPECT_EQ(reader->getSetting(1), 2);
  EXPECT_EQ(reader->getSetting(8), 0xC4);
  EXPECT_EQ(reader->getSetting(0x20), 0xFF) << "ids outside 1 to 15 are not stored";
  EXPECT_EQ(reader->getBonded(), std::list<std::string>{"one"}) << "an entry running past the list is dropped";
  EXPECT_EQ(reader->getPrefered(), "");
  EXPECT_EQ(reader->getCardStatus(), KelvoReader::kCardUnknown);
  EXPECT_EQ(reader->getUsbCableStatus(), 0xFF) << "cable state 7 counts as unknown";
  EXPECT_EQ(transport->requestsOf(0), 0u);
  transport->answer(0, {2});
  EXPECT_EQ(reader->getMethods(), (Bytes{1, 2, 3, 160, 4, 5, 8, 10, 11, 12, 13, 20, 21, 22}));
}

TEST(ReaderParsers, MinuteOfTheWeek) {
  std::tm saturdayNight{};
  saturdayNight.tm_wday = 6;
  saturdayNight.tm_hour = 23;
  saturdayNight.tm_min = 59;
  EXPECT_EQ(KelvoReaderKelvoBLEReaderTranslator::minuteOfWeek(saturdayNight), 10079);
  std::tm sundayMorning{};
  EXPECT_EQ(KelvoReaderKelvoBLEReaderTranslator::minuteOfWeek(sundayMorning), 0);
}

}  // namespace
