// SPDX-License-Identifier: Apache-2.0
// A Pentaloq reader stack against the emulated reader: key set-up and reuse, the reader functions, the card,
// the cached serial, and the failures a reader can cause.
#include <gtest/gtest.h>

#include <thread>

#include "LogCapture.h"
#include "PentaloqStack.h"
#include "SettingsFixture.h"
#include "trevalon/ReaderCache.h"
#include "trevalon/ReaderCardStateProxy.h"
#include "trevalon/ReaderTokenReaderTranslator.h"
#include "trevalon/local/Settings.h"
#include "trevalon/token/TokenBLEReaderCryptoProxy.h"
#include "trevalon/token/TokenEncryptor.h"

using namespace kelvo::test;
using kelvo::simulator::PentaloqFault;
using kelvo::simulator::PentaloqQuirk;
using kelvo::simulator::PentaloqReaderConfig;
using trevalon::token::TokenEncryptor;

namespace {

constexpr uint8_t kSyncronize = 0x65;
constexpr uint8_t kGetSerial = 0x30;

class PentaloqStackTest : public ::testing::Test {
 protected:
  SettingsFixture settingsStore;
  LogCapture capture;
  PentaloqReaderConfig config;
};

size_t requestsOf(const kelvo::simulator::PentaloqReaderState& state, uint8_t function) {
  size_t count = 0;
  for (const auto& request : state.requests) count += request.function == function;
  return count;
}

TEST_F(PentaloqStackTest, ADeviceWithOnlyThePentaloqServiceBecomesAPentaloqStack) {
  PentaloqStack stack(config);
  ASSERT_TRUE(stack.reader);
  auto cache = std::dynamic_pointer_cast<trevalon::ReaderCache>(stack.reader);
  ASSERT_TRUE(cache);
  auto proxy = std::dynamic_pointer_cast<trevalon::ReaderCardStateProxy>(cache->getMaster());
  ASSERT_TRUE(proxy);
  EXPECT_TRUE(std::dynamic_pointer_cast<trevalon::ReaderTokenReaderTranslator>(proxy->getMaster()));
  PentaloqLayers layers = stack.layers();
  EXPECT_TRUE(std::dynamic_pointer_cast<trevalon::token::TokenBLEReaderCryptoProxy>(layers.encrypted));
  EXPECT_TRUE(layers.ble);
  EXPECT_TRUE(capture.containsAt("Info", "Pentaloq service was found"));
  EXPECT_FALSE(stack.native->isConnected()) << "the service check's connection is let go";
  EXPECT_EQ(stack.emulator->counters().total(), 0u) << "nothing is asked before the reader is connected";
}

TEST_F(PentaloqStackTest, TheStackComesUpWithAKeyBothSidesHold) {
  PentaloqStack stack(config);
  ASSERT_TRUE(stack.connect());
  EXPECT_TRUE(capture.containsAt("Info", "could not load key"));
  EXPECT_TRUE(capture.containsAt("Info", "create a random new session key"));
  EXPECT_TRUE(capture.containsAt("Info", "Key exchnged successfully"));
  const auto state = stack.emulator->state();
  EXPECT_EQ(state.keySets, 1);
  ASSERT_TRUE(stack.emulator->key());
  EXPECT_EQ(TokenEncryptor::loadKey(config.address), stack.emulator->key()) << "stored under the address";
  const auto stored = TokenEncryptor::loadKey(config.address);
  ASSERT_TRUE(stored);
  EXPECT_EQ(capture.count(std::string(stored->begin(), stored->end())), 0u) << "the key is not logged";
  EXPECT_EQ(stack.events->values("connected"), std::vector<int64_t>{1});
  EXPECT_EQ(stack.reader->getState(), trevalon::kCardPresent);
}

TEST_F(PentaloqStackTest, TheKeyIsReusedOnTheNextConnectionAndByTheNextStack) {
  auto emulator = kelvo::simulator::PentaloqReaderEmulator::create(config);
  {
    PentaloqStack stack(config, emulator);
    ASSERT_TRUE(stack.connect());
    ASSERT_EQ(stack.reader->getSerial(), "PQ4711");
    stack.emulator->setLinkUp(false);
    ASSERT_TRUE(stack.events->waitFor("connected", 0));
    capture.clear();
    stack.events->forget();
    stack.emulator->setLinkUp(true);
    ASSERT_TRUE(stack.events->waitFor("state", trevalon::kCardPresent));
    EXPECT_EQ(stack.reader->getFirmware(), "1.2");
    EXPECT_FALSE(capture.contains("create a random new session key"));
  }
  PentaloqStack again(config, emulator);
  ASSERT_TRUE(again.connect());
  EXPECT_EQ(again.reader->getHardware(), "2.1");
  const auto state = emulator->state();
  EXPECT_EQ(state.keySets, 1) << "the reader never saw a second key";
  EXPECT_EQ(state.keyChecks, 2) << "each later connection checks the stored key";
}

TEST_F(PentaloqStackTest, AReaderThatLostItsKeyGetsANewOne) {
  config.quirks = {PentaloqQuirk::keyLost};
  PentaloqStack stack(config);
  ASSERT_TRUE(stack.connect());
  const auto first = TokenEncryptor::loadKey(config.address);
  stack.emulator->setLinkUp(false);
  ASSERT_TRUE(stack.events->waitFor("connected", 0));
  stack.events->forget();
  stack.emulator->setLinkUp(true);
  ASSERT_TRUE(stack.events->waitFor("state", trevalon::kCardPresent));
  EXPECT_TRUE(capture.containsAt("ERROR", "Error during key sync: 0x6"));
  EXPECT_EQ(stack.emulator->state().keySets, 2);
  EXPECT_NE(TokenEncryptor::loadKey(config.address), first);
  EXPECT_EQ(TokenEncryptor::loadKey(config.address), stack.emulator->key());
  EXPECT_EQ(stack.reader->getSerial(), "PQ4711");
}

TEST_F(PentaloqStackTest, ALockedKeyIsAskedFromTheObservers) {
  config.quirks = {PentaloqQuirk::keyLocked};
  struct Case {
    const char* what;
    std::optional<std::vector<uint8_t>> given;
    bool works;
    const char* message;
  };
  const std::vector<Case> cases = {
      {"the key the reader shows", config.displayedShortKey, true, "Key exchnged successfully"},
      {"seven bytes", std::vector<uint8_t>(7, '1'), false, "Short key is not 8 bytes long"},
      {"another key", std::vector<uint8_t>(8, '9'), false, "the reader holds another key"},
      {"no key at all", std::nullopt, false, "nobody gave the reader's key"},
  };
  for (const Case& c : cases) {
    SettingsFixture fresh;
    capture.clear();
    PentaloqStack stack(config);
    stack.events->key = c.given;
    ASSERT_TRUE(stack.connect()) << c.what;
    EXPECT_TRUE(capture.containsAt("Info", "Requesting new key")) << c.what;
    EXPECT_EQ(stack.events->asked.load(), 1) << c.what;
    EXPECT_TRUE(capture.contains(c.message)) << c.what;
    EXPECT_EQ(stack.reader->getSerial(), c.works ? "PQ4711" : "") << c.what;
    EXPECT_EQ(TokenEncryptor::loadKey(config.address).has_value(), c.works) << c.what;
    if (!c.works) {
      EXPECT_TRUE(capture.containsAt("ERROR", "Key was not exchanged!")) << c.what;
    }
  }
}

TEST_F(PentaloqStackTest, IdentityBatteryAndEncryptedExchanges) {
  PentaloqStack stack(config);
  ASSERT_TRUE(stack.connect());
  trevalon::Reader& reader = *stack.reader;
  EXPECT_EQ(reader.getVendor(), "trevalon GmbH");
  EXPECT_EQ(reader.getModel(), "Pentaloq");
  EXPECT_EQ(reader.getFirmware(), "1.2");
  EXPECT_EQ(reader.getHardware(), "2.1");
  EXPECT_EQ(reader.getBuild(), "");
  EXPECT_EQ(reader.getSerial(), "PQ4711");
  EXPECT_EQ(reader.getName(), "Pentaloq PQ4711");
  EXPECT_EQ(reader.getBatteryLevel(), 64);
  EXPECT_EQ(reader.getAddress(), config.address);
  EXPECT_EQ(reader.getId(), "/org/bluez/hci0/dev_" + config.address);
  EXPECT_TRUE(reader.isAvailable());
  EXPECT_TRUE(reader.isConnected());
  for (const auto& request : stack.emulator->state().requests) {
    EXPECT_EQ(request.encrypted, request.function != kSyncronize) << "function " << int(request.function);
  }
}

TEST_F(PentaloqStackTest, TheClockIsSetBeforeTheCardIsReported) {
  PentaloqStack stack(config);
  std::optional<uint32_t> clockWhenPresent;
  const auto before = std::chrono::system_clock::now();
  stack.native->connect();
  ASSERT_TRUE(stack.events->waitFor("state", trevalon::kCardPresent));
  clockWhenPresent = stack.emulator->state().clock;
  ASSERT_TRUE(clockWhenPresent);
  const auto seconds = std::chrono::duration_cast<std::chrono::seconds>(before.time_since_epoch()).count();
  EXPECT_GE(static_cast<int64_t>(*clockWhenPresent), seconds);
  EXPECT_LE(static_cast<int64_t>(*clockWhenPresent), seconds + 5);
  EXPECT_EQ(stack.events->values("connected"), std::vector<int64_t>{1});
}

TEST_F(PentaloqStackTest, LeavingReportsTheCardAbsentThenTheReaderDisconnected) {
  PentaloqStack stack(config);
  ASSERT_TRUE(stack.connect());
  stack.events->forget();
  stack.emulator->setLinkUp(false);
  ASSERT_TRUE(stack.events->waitFor("connected", 0));
  EXPECT_EQ(stack.events->values("state"), std::vector<int64_t>{trevalon::kCardUnknown})
      << "the card-state proxy reports a disconnected reader's card as unknown";
  EXPECT_FALSE(stack.reader->isConnected());
  EXPECT_TRUE(stack.reader->isAvailable()) << "a Pentaloq reader is always listed as available";
}

TEST_F(PentaloqStackTest, TheSerialIsRememberedWhileTheReaderIsOutOfReach) {
  {
    PentaloqStack stack(config);
    EXPECT_EQ(stack.reader->getSerial(), "") << "never reached, nothing stored";
    ASSERT_TRUE(stack.connect());
    ASSERT_EQ(stack.reader->getSerial(), "PQ4711");
    stack.emulator->setLinkUp(false);
    ASSERT_TRUE(stack.events->waitFor("connected", 0));
    stack.emulator->resetCounters();
    EXPECT_EQ(stack.reader->getSerial(), "PQ4711");
    EXPECT_EQ(stack.emulator->counters().total(), 0u);
  }
  EXPECT_EQ(trevalon::local::readTextSetting("serial_" + config.address, "", false), "PQ4711");
}

TEST_F(PentaloqStackTest, AnIdleLinkComesBackForTheNextExchangeUnseenAbove) {
  trevalon::Reader::StackOptions options;
  options.linkIdlePeriod = std::chrono::milliseconds(50);
  PentaloqStack stack(config, nullptr, options);
  ASSERT_TRUE(stack.connect());
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
  while (stack.native->isConnected() && std::chrono::steady_clock::now() < deadline) {
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  ASSERT_FALSE(stack.native->isConnected()) << "the idle link was dropped";
  EXPECT_TRUE(stack.reader->isConnected()) << "the reader is still in reach";
  EXPECT_EQ(stack.reader->getSerial(), "PQ4711") << "answers reach a link made anew";
  EXPECT_EQ(stack.events->values("connected"), std::vector<int64_t>{1});
  EXPECT_EQ(stack.emulator->state().keySets, 1);
}

TEST_F(PentaloqStackTest, ReaderAnswersOutsideTheirDomains) {
  config.battery = 101;
  config.quirks = {PentaloqQuirk::wideVersion};
  PentaloqStack stack(config);
  ASSERT_TRUE(stack.connect());
  EXPECT_EQ(stack.reader->getBatteryLevel(), 0xFF);
  EXPECT_EQ(stack.reader->getFirmware(), "") << "two version bytes are no version";
  stack.emulator->setBatteryLevel(100);
  stack.emulator->setQuirk(PentaloqQuirk::wideVersion, false);
  EXPECT_EQ(stack.layers().functions->getBatteryLevel(), 100);
  EXPECT_EQ(stack.layers().functions->getFirmware(), "1.2");
}

TEST_F(PentaloqStackTest, FaultyAnswersBecomeCode0xFF) {
  PentaloqStack stack(config);
  ASSERT_TRUE(stack.connect());
  auto encrypted = stack.layers().encrypted;
  struct Case {
    PentaloqFault::Kind kind;
    uint8_t code;
    std::vector<uint8_t> data;
    const char* message;
  };
  const std::vector<uint8_t> serial = {'P', 'Q', '4', '7', '1', '1'};
  const std::vector<Case> cases = {
      {PentaloqFault::Kind::resultCode, 0xFF, serial, nullptr},
      {PentaloqFault::Kind::corruptCrc, 0xFF, {}, "CRC8 does not match"},
      {PentaloqFault::Kind::emptyResult, 0xFF, {}, "no result"},
      {PentaloqFault::Kind::otherFunction, 0xFF, {}, "functions do not match"},
      {PentaloqFault::Kind::silent, 0xFF, {}, "Unexpected package -1 expected 0"},
      {PentaloqFault::Kind::badPacket, 0xFF, {}, "Unexpected package 1 expected 0"},
  };
  for (const Case& c : cases) {
    capture.clear();
    PentaloqFault fault;
    fault.kind = c.kind;
    fault.function = kGetSerial;
    fault.code = 14;
    fault.packets = {0};
    stack.emulator->addFault(fault);
    const trevalon::token::TransmitResult result = encrypted->transmit(kGetSerial, {}, true);
    EXPECT_EQ(result.code, c.code) << int(c.kind);
    EXPECT_EQ(result.data, c.data) << int(c.kind);
    if (c.message) {
      EXPECT_TRUE(capture.containsAt("ERROR", c.message)) << int(c.kind);
    }
  }
  EXPECT_EQ(encrypted->transmit(kGetSerial, {}, true).data, serial) << "the next exchange is sound again";
}

TEST_F(PentaloqStackTest, TheCardThroughTheGenericReader) {
  PentaloqStack stack(config);
  ASSERT_TRUE(stack.connect());
  trevalon::Reader& reader = *stack.reader;
  EXPECT_EQ(reader.getAtr(), *config.cardAtr);
  EXPECT_TRUE(stack.emulator->state().cardPowered);
  std::vector<uint8_t> echo = {0x80, 0xEE, 0x00, 0x00, 0x03, 0x01, 0x02, 0x03};
  EXPECT_EQ(reader.sendAPDU(echo), (std::vector<uint8_t>{0x01, 0x02, 0x03, 0x90, 0x00}));
  // A command longer than a chunk and an answer longer than a packet.
  std::vector<uint8_t> longEcho = {0x80, 0xEE, 0x00, 0x00, 0xFF};
  std::vector<uint8_t> data(255);
  for (size_t i = 0; i < data.size(); ++i) data[i] = static_cast<uint8_t>(i);
  longEcho.insert(longEcho.end(), data.begin(), data.end());
  data.push_back(0x90);
  data.push_back(0x00);
  stack.emulator->resetCounters();
  EXPECT_EQ(reader.sendAPDU(longEcho), data);
  EXPECT_EQ(stack.emulator->counters().writes(kelvo::simulator::PentaloqReaderEmulator::kInput), 2u);
  EXPECT_EQ(stack.emulator->counters().notifications(kelvo::simulator::PentaloqReaderEmulator::kOutput), 2u);
  EXPECT_TRUE(reader.shutdown());
  EXPECT_FALSE(stack.emulator->state().cardPowered);
}

TEST_F(PentaloqStackTest, CardErrorsAreLogged) {
  config.cardAtr.reset();
  PentaloqStack stack(config);
  ASSERT_TRUE(stack.connect());
  auto functions = stack.layers().functions;
  EXPECT_TRUE(functions->resetCard().empty());
  EXPECT_TRUE(capture.containsAt("ERROR", "card error"));
  EXPECT_TRUE(functions->sendAPDU({0x00, 0xA4, 0x04, 0x00}).empty());
  EXPECT_TRUE(capture.containsAt("ERROR", "sendAPDU failed with 0x2"));
  functions->unsetCard();
  EXPECT_TRUE(capture.containsAt("ERROR", "Failed to finalize card: 0x2"));
  PentaloqFault fault;
  fault.function = 0x45;
  fault.code = 9;
  stack.emulator->addFault(fault);
  EXPECT_TRUE(functions->resetCard().empty());
  EXPECT_TRUE(capture.containsAt("Warning", "Unhandled result 0x9"));
}

TEST_F(PentaloqStackTest, ProtocolNumbers) {
  PentaloqStack stack(config);
  ASSERT_TRUE(stack.connect());
  auto functions = stack.layers().functions;
  struct Case {
    uint32_t protocol;
    std::optional<uint8_t> sent;
  };
  const std::vector<Case> cases = {
      {1, 0}, {2, 1}, {3, 1}, {0x80000000u, 1}, {0, std::nullopt}, {4, std::nullopt}, {0xFFFFFFFFu, std::nullopt}};
  for (const Case& c : cases) {
    stack.emulator->resetCounters();
    const size_t before = requestsOf(stack.emulator->state(), 0x55);
    EXPECT_EQ(functions->setProtocol(c.protocol), c.sent.has_value()) << c.protocol;
    if (c.sent) {
      EXPECT_EQ(stack.emulator->state().protocol, c.sent) << c.protocol;
      EXPECT_EQ(requestsOf(stack.emulator->state(), 0x55), before + 1) << c.protocol;
    } else {
      EXPECT_EQ(stack.emulator->counters().total(), 0u) << c.protocol << " sends nothing";
    }
  }
}

TEST_F(PentaloqStackTest, SettingsAreNotSupportedAndCostNoTraffic) {
  PentaloqStack stack(config);
  ASSERT_TRUE(stack.connect());
  trevalon::Reader& reader = *stack.reader;
  stack.emulator->resetCounters();
  EXPECT_FALSE(reader.setAdvertisingMode(1));
  EXPECT_FALSE(reader.setBuzzerMode(1));
  EXPECT_FALSE(reader.setSignalStrength(1));
  EXPECT_FALSE(reader.setBackLight(1));
  EXPECT_FALSE(reader.setDisplayMode(1));
  EXPECT_FALSE(reader.setRssiMinValue(0xC4));
  EXPECT_FALSE(reader.setWorkingTimeRanges(trevalon::kelvo::WorkingTimeRanges()));
  EXPECT_FALSE(reader.setPrefered("workstation"));
  EXPECT_FALSE(reader.eraseBond("workstation"));
  EXPECT_FALSE(reader.forceBootMode());
  for (uint8_t value :
       {reader.getAdvertisingMode(), reader.getBuzzerMode(), reader.getSignalStrength(), reader.getBackLight(),
        reader.getDisplayMode(), reader.getRssiMinValue(), reader.getUsbCableStatus(), reader.getEncryption()}) {
    EXPECT_EQ(value, 0xFF);
  }
  EXPECT_EQ(reader.getWorkingTimeRanges(), trevalon::kelvo::WorkingTimeRanges::zero());
  EXPECT_TRUE(reader.getBonded().empty());
  EXPECT_EQ(reader.getPrefered(), "");
  EXPECT_EQ(reader.getProtocol(), trevalon::kProtocolNone);
  EXPECT_EQ(stack.emulator->counters().total(), 0u);
}

}  // namespace
