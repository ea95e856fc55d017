// SPDX-License-Identifier: Apache-2.0
// The reader functions and the smart-card channel of the emulated reader, and the notifications they raise.

#include <gmock/gmock.h>

#include <algorithm>
#include <map>

#include "EmulatorFixture.h"
#include "kelvo/simulator/kelvo/KelvoReaderUsbPort.h"
#include "kelvo/simulator/kelvo/SignedFirmwareImage.h"
#include "trevalon/firmware/OverTheAirWriter.h"

namespace kelvo::test {
namespace {

std::string items(const std::vector<std::pair<std::string, std::string>>& descriptor, const std::string& key) {
  for (const auto& item : descriptor) {
    if (item.first == key) return item.second;
  }
  return std::string();
}

using ::testing::ElementsAre;
using ::testing::IsEmpty;

class ReaderFunctionsTest : public EmulatorFixture {
 protected:
  // Descriptor sections read the way the format lays them out; values stay raw bytes.
  static std::map<std::string, Bytes> sections(const Bytes& payload) {
    std::map<std::string, Bytes> items;
    const size_t end = 1u + payload.at(0);
    size_t at = 1;
    while (at < end) {
      const size_t size = payload.at(at);
      const size_t keyLength = payload.at(at + 1);
      const std::string key(payload.begin() + static_cast<long>(at + 2),
                            payload.begin() + static_cast<long>(at + 2 + keyLength));
      const size_t valueLength = payload.at(at + 2 + keyLength);
      EXPECT_EQ(size, keyLength + 2 + valueLength) << key;
      items[key] = Bytes(payload.begin() + static_cast<long>(at + 3 + keyLength),
                         payload.begin() + static_cast<long>(at + 3 + keyLength + valueLength));
      at += 1 + size;
    }
    EXPECT_EQ(at, end);
    return items;
  }

  Bytes ok(const Bytes& request) {
    std::optional<Bytes> response = call(request);
    EXPECT_TRUE(response);
    if (!response || response->empty()) return {};
    EXPECT_EQ((*response)[0], 0) << "method " << int(request[0]);
    return Bytes(response->begin() + 1, response->end());
  }
};

TEST_F(ReaderFunctionsTest, FirstGenerationDescriptorPacksSerialAndMac) {
  Config config = plainConfig();
  config.descriptor = {{"Serial", "5123456789"}, {"Firmware", "1.4.2"}};
  start(config);
  const auto items = sections(ok({1}));
  EXPECT_THAT(items.at("Serial"), ElementsAre(0x51, 0x23, 0x45, 0x67, 0x89));
  EXPECT_THAT(items.at("MAC"), ElementsAre(0x13, 0x71, 0xDA, 0x7D, 0x1A, 0x00)) << "least significant byte first";
  EXPECT_EQ(items.at("Firmware"), text("1.4.2"));
  for (const char* key : {"Hardware", "Build", "Bootloader"}) EXPECT_EQ(items.count(key), 1u) << key;
}

TEST_F(ReaderFunctionsTest, SecondGenerationDescriptorSendsSerialAsText) {
  Config config = plainConfig();
  config.generation = 2;
  config.address = "C0FFEE000102";
  config.descriptor = {{"Serial", "K2000000042"}, {"MAC", "aabbccddeeff"}};
  emulator = Emulator::create(config);
  radio->addPeripheral(emulator);
  // The radio knows the reader by the lower-case form of its address.
  EXPECT_EQ(emulator->address(), "c0ffee000102");
  host = RawGattHost::attach(radio, "c0ffee000102");
  const auto items = sections(ok({1}));
  EXPECT_EQ(items.at("Serial"), text("K2000000042"));
  EXPECT_THAT(items.at("MAC"), ElementsAre(0xFF, 0xEE, 0xDD, 0xCC, 0xBB, 0xAA));
}

TEST_F(ReaderFunctionsTest, SettingsReadAndChangeWithNotifications) {
  start();
  const Bytes pairs = ok({8});
  ASSERT_EQ(pairs.size(), 30u);
  EXPECT_EQ(pairs[0], 1);
  EXPECT_EQ(pairs[1], 2);
  EXPECT_EQ(pairs[14], 8);
  EXPECT_EQ(pairs[15], 0xBA);  // -70 dBm

  EXPECT_THAT(ok({9, 5, 7}), IsEmpty());
  EXPECT_EQ(emulator->state().setting(5), 7);
  EXPECT_THAT(ok({9, 7, 1}), IsEmpty());
  EXPECT_THAT(host->drain(radio, Emulator::kNotification), ElementsAre(Bytes{5, 5, 7}, Bytes{5, 7, 1}, Bytes{3, 1}));
  // An unchanged value is no news.
  emulator->changeSetting(5, 7);
  EXPECT_THAT(host->drain(radio, Emulator::kNotification), IsEmpty());
}

TEST_F(ReaderFunctionsTest, WorkingTimeRangesClockAndClientName) {
  start();
  Bytes ranges{12};
  const std::vector<int16_t> values = {480, 1080, -1, -1, 1920, 2520, 0, 10079, -1, -1, -1, -1, 100, 200};
  for (int16_t value : values) {
    ranges.push_back(static_cast<uint8_t>(value & 0xFF));
    ranges.push_back(static_cast<uint8_t>((value >> 8) & 0xFF));
  }
  EXPECT_THAT(ok(ranges), IsEmpty());
  EXPECT_EQ(ok({11}), Bytes(ranges.begin() + 1, ranges.end()));
  EXPECT_EQ(emulator->state().ranges[3].first, 0);
  EXPECT_EQ(emulator->state().ranges[3].second, 10079);
  ranges[1] = 0x60;
  ranges[2] = 0x27;  // 10080 is past the week
  EXPECT_THAT(*call(ranges), ElementsAre(1));

  EXPECT_THAT(ok({10, 0x5F, 0x27}), IsEmpty());
  EXPECT_EQ(emulator->state().localTime, 10079);
  EXPECT_THAT(ok({4, 'd', 'e', 's', 'k'}), IsEmpty());
  EXPECT_EQ(emulator->state().clientName, "desk");
}

TEST_F(ReaderFunctionsTest, BondingsWithPreferredIndex) {
  Config config = plainConfig();
  config.bonds = {{0, "workstation-1"}, {3, "laptop"}};
  config.preferred = 3;
  start(config);
  Bytes expected{3, 0, 13};
  const Bytes first = text("workstation-1");
  expected.insert(expected.end(), first.begin(), first.end());
  expected.push_back(3);
  expected.push_back(6);
  const Bytes second = text("laptop");
  expected.insert(expected.end(), second.begin(), second.end());
  EXPECT_EQ(ok({14}), expected);

  EXPECT_THAT(ok({15, 3}), IsEmpty());
  EXPECT_EQ(ok({14})[0], 0xFF);
  EXPECT_THAT(*call({15, 3}), ElementsAre(1));
}

TEST_F(ReaderFunctionsTest, ExternalFlashInBothOffsetLayouts) {
  start();
  EXPECT_THAT(ok({20}), IsEmpty());  // the over-the-air probe

  Bytes wide{20, 0x00, 0x10, 0x00, 0x00, 4, 0, 0xDE, 0xAD, 0xBE, 0xEF};
  EXPECT_THAT(ok(wide), IsEmpty());
  Bytes narrow{20, 0x04, 0x10, 0x00, 3, 0, 0x01, 0x02, 0x03};
  EXPECT_THAT(ok(narrow), IsEmpty());
  EXPECT_THAT(emulator->externalFlash(0x1000, 8), ElementsAre(0xDE, 0xAD, 0xBE, 0xEF, 1, 2, 3, 0xFF));
  EXPECT_THAT(ok({21, 0x00, 0x10, 0x00, 0x00, 7, 0}), ElementsAre(0xDE, 0xAD, 0xBE, 0xEF, 1, 2, 3));
  EXPECT_THAT(ok({21, 0x02, 0x10, 0x00, 2, 0}), ElementsAre(0xBE, 0xEF));

  // A whole chunk of the library's layout: 2000 bytes at offset 2000.
  Bytes chunk{20, 0xD0, 0x07, 0x00, 0xD0, 0x07};
  for (int i = 0; i < 2000; ++i) chunk.push_back(static_cast<uint8_t>(i * 7));
  EXPECT_THAT(ok(chunk), IsEmpty());
  EXPECT_EQ(emulator->externalFlash(2000, 2000), Bytes(chunk.begin() + 6, chunk.end()));

  // Past the end of the flash, or a length that does not match the data.
  EXPECT_THAT(*call({20, 0xFF, 0xFF, 0x0F, 0x00, 2, 0, 1, 2}), ElementsAre(1));
  EXPECT_THAT(*call({20, 0x00, 0x00, 0x00, 0x00, 9, 0, 1, 2}), ElementsAre(1));
}

TEST_F(ReaderFunctionsTest, BootloaderRequestAnswersThenDropsTheLink) {
  start();
  std::optional<Bytes> response = host->transmit({22, 0});
  ASSERT_TRUE(response);
  EXPECT_THAT(*response, ElementsAre(0));
  radio->waitIdle();
  EXPECT_EQ(emulator->state().bootMode, 0);
  EXPECT_FALSE(emulator->isLinkUp());
  emulator->setLinkUp(true);
  EXPECT_FALSE(emulator->isLinkUp());
  emulator->leaveBootMode();
  EXPECT_TRUE(emulator->isLinkUp());
}

// Mode 1: the reader installs what the host wrote into its external flash when the image checks out, and comes
// back on the air either way.
TEST_F(ReaderFunctionsTest, ARestartFromTheExternalFlashInstallsOnlyAnImageThatChecksOut) {
  const Bytes good = kelvo::simulator::SignedFirmwareImage::make("2.2.0", 2);
  Bytes changedPage = good;
  changedPage[100] ^= 0x01;
  Bytes wrongCount = kelvo::simulator::SignedFirmwareImage::make("2.2.0", 2);
  wrongCount[8] = 3;
  const struct {
    const char* name;
    Bytes image;
    const char* firmware;
    const char* install;
  } cases[] = {
      {"good", good, "2.2.0", "installed 2.2.0"},
      {"a page changed", changedPage, "2.1.0", "kept 2.1.0: the signature does not match"},
      {"page count", wrongCount, "2.1.0", "kept 2.1.0: the header's page count is not the image's"},
  };
  int reader = 0;
  for (const auto& test : cases) {
    SCOPED_TRACE(test.name);
    Config config = plainConfig();
    config.address = "c0ffee00010" + std::to_string(++reader);
    config.generation = 2;
    config.descriptor = {{"Serial", "KLV21234567890"}, {"Firmware", "2.1.0"}};
    start(config);
    Bytes flash{static_cast<uint8_t>(test.image.size()), static_cast<uint8_t>(test.image.size() >> 8), 0, 0};
    flash.insert(flash.end(), test.image.begin(), test.image.end());
    for (size_t offset = 0; offset < flash.size(); offset += 200) {
      const size_t length = std::min<size_t>(200, flash.size() - offset);
      ASSERT_TRUE(call(trevalon::OverTheAirWriter::pieceRequest(flash, offset, length))) << offset;
    }
    ASSERT_TRUE(host->transmit({22, 1}));
    radio->waitIdle();
    EXPECT_TRUE(emulator->isLinkUp());
    EXPECT_FALSE(emulator->state().bootMode);
    EXPECT_EQ(emulator->state().lastFlashInstall, test.install);
    EXPECT_EQ(items(emulator->state().descriptor, "Firmware"), test.firmware);
    host->reader->disconnect();
    radio->waitIdle();
  }
}

// Records what a reader shows on USB, as the emulated USB bus would see it.
class RecordingUsbPort : public kelvo::simulator::KelvoReaderUsbPort {
 public:
  void show(const std::string& serial, int generation, Presence presence) override {
    const char* names[] = {"none", "reader", "bootloader"};
    shown.push_back(serial + " " + std::to_string(generation) + " " + names[static_cast<int>(presence)]);
  }
  std::vector<std::string> shown;
};

TEST_F(ReaderFunctionsTest, OnItsCableTheReaderIsOnUsbAndAfterModeZeroItsBootloaderIs) {
  Config config = plainConfig();
  config.generation = 2;
  config.descriptor = {{"Serial", "KLV21234567890"}, {"Firmware", "2.1.0"}};
  start(config);
  auto port = std::make_shared<RecordingUsbPort>();
  emulator->attachUsbPort(port);
  emulator->setUsbCable(1);
  emulator->setUsbCable(1);  // no second device for a cable already in
  ASSERT_TRUE(host->transmit({22, 0}));
  radio->waitIdle();
  EXPECT_FALSE(emulator->isLinkUp());
  emulator->setUsbCable(0);
  emulator->setUsbCable(1);  // plugged in again: still the bootloader, with nothing written
  emulator->finishUsbBootloader(std::nullopt, std::string("the signature does not match"));
  EXPECT_EQ(emulator->state().lastFlashInstall, "kept 2.1.0: the signature does not match");
  EXPECT_TRUE(emulator->isLinkUp());
  ASSERT_TRUE(host->transmit({22, 0}));
  radio->waitIdle();
  emulator->finishUsbBootloader(std::string("2.3.0"), std::nullopt);
  EXPECT_EQ(items(emulator->state().descriptor, "Firmware"), "2.3.0");
  EXPECT_EQ(emulator->state().lastFlashInstall, "installed 2.3.0");
  emulator->finishUsbBootloader(std::string("9.9.9"), std::nullopt);  // not in its bootloader: nothing to install
  EXPECT_EQ(items(emulator->state().descriptor, "Firmware"), "2.3.0");
  const std::string serial = "KLV21234567890 2 ";
  EXPECT_THAT(port->shown, ElementsAre(serial + "reader", serial + "bootloader", serial + "none", serial + "bootloader",
                                       serial + "reader", serial + "bootloader", serial + "reader"));
}

TEST_F(ReaderFunctionsTest, NotificationsAndRepeatCommands) {
  start();
  emulator->insertCard({0x3B, 0x81, 0x80, 0x01, 0x80, 0x80});
  emulator->setBatteryLevel(9);
  emulator->setUsbCable(1);
  emulator->removeCard();
  EXPECT_THAT(host->drain(radio, Emulator::kNotification),
              ElementsAre(Bytes{1, 2}, Bytes{1, 6}, Bytes{7, 9}, Bytes{4, 9}, Bytes{6, 1}, Bytes{1, 1}));

  ASSERT_TRUE(host->write(Emulator::kIndicate, {1}));
  ASSERT_TRUE(host->write(Emulator::kIndicate, {3}));
  ASSERT_TRUE(host->write(Emulator::kIndicate, {6}));
  ASSERT_TRUE(host->write(Emulator::kIndicate, {2}));
  ASSERT_TRUE(host->write(Emulator::kIndicate, {99, 1, 2}));
  EXPECT_THAT(host->drain(radio, Emulator::kNotification), ElementsAre(Bytes{1, 1}, Bytes{3, 0}, Bytes{6, 1}));

  emulator->sendNotification({9, 1});
  EXPECT_THAT(host->drain(radio, Emulator::kNotification), ElementsAre(Bytes{9, 1}));
  EXPECT_THAT(ok({13}), ElementsAre(0, 1, 9, 1, 0, 0));
}

TEST_F(ReaderFunctionsTest, SmartCardChannel) {
  Config config = plainConfig();
  config.cardAtr = Bytes{0x3B, 0x81, 0x80, 0x01, 0x80, 0x80};
  start(config);
  EXPECT_THAT(ok({2, 1}), ElementsAre(0x3B, 0x81, 0x80, 0x01, 0x80, 0x80));

  Bytes select{2, 5, 0x00, 0xA4, 0x04, 0x00, 7};
  const Bytes application = kelvo::simulator::EmulatedCard::defaultApplication();
  select.insert(select.end(), application.begin(), application.end());
  EXPECT_THAT(ok(select), ElementsAre(0x90, 0x00));
  EXPECT_THAT(ok({2, 5, 0x00, 0xA4, 0x04, 0x00, 2, 0xA0, 0x00}), ElementsAre(0x6A, 0x82));
  EXPECT_THAT(ok({2, 5, 0x80, 0xEE, 0x00, 0x00, 3, 'a', 'b', 'c', 0x00}), ElementsAre('a', 'b', 'c', 0x90, 0x00));
  EXPECT_THAT(ok({2, 5, 0x80, 0xEE, 0x00, 0x00, 9, 'a'}), ElementsAre(0x67, 0x00));
  EXPECT_THAT(ok({2, 5, 0x00, 0x12, 0x00, 0x00}), ElementsAre(0x6D, 0x00));

  EXPECT_THAT(ok({2, 4}), IsEmpty());
  EXPECT_THAT(*call({2, 5, 0x80, 0xEE, 0x00, 0x00, 1, 'a'}), ElementsAre(1));
  EXPECT_THAT(ok({2, 1}), ElementsAre(0x3B, 0x81, 0x80, 0x01, 0x80, 0x80));
  EXPECT_THAT(*call({2, 9}), ElementsAre(1));
  EXPECT_THAT(host->drain(radio, Emulator::kNotification), ElementsAre(Bytes{1, 2}, Bytes{1, 6}));
}

// The reader's own PIV card through the card channel: a card reset forgets the verified PIN, and the card keeps
// its counters when it is taken out and put back.
TEST_F(ReaderFunctionsTest, PivCardThroughTheSmartCardChannel) {
  Config config = plainConfig();
  config.cardAtr = Bytes{0x3B, 0x81, 0x80, 0x01, 0x80, 0x80};
  config.cardPiv = kelvo::simulator::PivConfig{};
  start(config);
  const Bytes verifyPin = {2, 5, 0x00, 0x20, 0x00, 0x80, 8, '1', '2', '3', '4', '5', '6', 0xFF, 0xFF};
  const Bytes verifyState = {2, 5, 0x00, 0x20, 0x00, 0x80};
  const Bytes wrongPin = {2, 5, 0x00, 0x20, 0x00, 0x80, 8, '0', '0', '0', '0', '0', '0', 0xFF, 0xFF};
  const Bytes selectPiv = {2, 5, 0x00, 0xA4, 0x04, 0x00, 9, 0xA0, 0x00, 0x00, 0x03, 0x08, 0x00, 0x00, 0x10, 0x00, 0x00};
  const Bytes propertyTemplate = ok(selectPiv);
  ASSERT_GE(propertyTemplate.size(), 2u);
  EXPECT_EQ(propertyTemplate.front(), 0x61);
  EXPECT_THAT(Bytes(propertyTemplate.end() - 2, propertyTemplate.end()), ElementsAre(0x90, 0x00));

  EXPECT_THAT(ok(verifyPin), ElementsAre(0x90, 0x00));
  EXPECT_THAT(ok(verifyState), ElementsAre(0x90, 0x00));
  EXPECT_THAT(ok({2, 1}), ElementsAre(0x3B, 0x81, 0x80, 0x01, 0x80, 0x80));
  EXPECT_THAT(ok(verifyState), ElementsAre(0x63, 0xC3)) << "the reset forgot the PIN, PIV is selected again";

  EXPECT_THAT(ok(wrongPin), ElementsAre(0x63, 0xC2));
  emulator->removeCard();
  ASSERT_TRUE(emulator->pivStatus());
  EXPECT_EQ(emulator->pivStatus()->pinTriesLeft, 2) << "the card out of the reader is still the reader's";
  emulator->insertCard({0x3B, 0x00});
  EXPECT_THAT(ok(selectPiv), ElementsAre(0x6A, 0x82)) << "a plain card in its place";
  ASSERT_TRUE(emulator->insertOwnCard());
  EXPECT_THAT(ok(verifyState), ElementsAre(0x63, 0xC2)) << "the own card came back with its counter";
  EXPECT_EQ(emulator->pivStatus()->pin, "123456");
}

}  // namespace
}  // namespace kelvo::test
