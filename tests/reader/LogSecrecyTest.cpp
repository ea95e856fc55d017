// SPDX-License-Identifier: Apache-2.0
// A whole Kelvo reader stack with every log level captured, through key agreement, a PIN verification and an
// exchange with the card: the log names what happened and shows none of the secrets that crossed the stack.
#include <gtest/gtest.h>

#include "AirRecorder.h"
#include "LogCapture.h"
#include "LoggedBytes.h"
#include "ReaderEvents.h"
#include "SettingsFixture.h"
#include "StackRelease.h"
#include "kelvo/simulator/kelvo/KelvoReaderEmulator.h"
#include "trevalon/Reader.h"
#include "trevalon/classic/DevicePipe.h"
#include "trevalon/sim/BLEReaderSim.h"
#include "trevalon/sim/SimulatedRadio.h"

using namespace kelvo::test;
using kelvo::simulator::KelvoReaderConfig;
using kelvo::simulator::KelvoReaderEmulator;
using Bytes = std::vector<uint8_t>;

namespace {

const Bytes kPin = {'1', '2', '3', '4', '5', '6'};
// VERIFY of the card holder's PIN, reference 0x81.
const Bytes kVerify = {0x00, 0x20, 0x00, 0x81, 0x06, '1', '2', '3', '4', '5', '6'};
// The emulated card's echo command: its data comes back as the answer.
const Bytes kEchoed = {0x5e, 0xc2, 0xe7, 0xda, 0x7a, 0x41, 0x19, 0x8b};
const Bytes kEcho = {0x80, 0xEE, 0x00, 0x00, 0x08, 0x5e, 0xc2, 0xe7, 0xda, 0x7a, 0x41, 0x19, 0x8b};

class KelvoLogSecrecy : public ::testing::Test {
 protected:
  KelvoLogSecrecy() {
    config.cardAtr = Bytes{0x3B, 0x81, 0x80, 0x01, 0x80, 0x80};
    emulator = KelvoReaderEmulator::create(config.withDefaults());
    air = AirRecorder::wrap(emulator);
    radio->addPeripheral(air);
    radio->waitIdle();
    native = trevalon::sim::BLEReaderSim::create(radio, config.address, config.address, config.name);
    trevalon::Reader::StackOptions options;
    options.characteristicTimeout = std::chrono::seconds(2);
    reader = trevalon::Reader::create(native, options);
    if (reader) reader->addObserver(events);
  }
  ~KelvoLogSecrecy() override {
    std::weak_ptr<trevalon::ble::BLEReader> bottom =
        reader ? bottomOf(reader) : std::weak_ptr<trevalon::ble::BLEReader>();
    reader.reset();
    waitGone(bottom);
  }

  SettingsFixture settingsStore;
  LogCapture capture;
  KelvoReaderConfig config;
  std::shared_ptr<trevalon::sim::SimulatedRadio> radio = trevalon::sim::SimulatedRadio::create();
  std::shared_ptr<KelvoReaderEmulator> emulator;
  std::shared_ptr<AirRecorder> air;
  std::shared_ptr<trevalon::sim::BLEReaderSim> native;
  std::shared_ptr<trevalon::Reader> reader;
  std::shared_ptr<ReaderEvents> events = std::make_shared<ReaderEvents>();
};

TEST_F(KelvoLogSecrecy, KeysPinsAndAnswersNeverReachTheLog) {
  ASSERT_TRUE(reader);
  native->connect();
  ASSERT_TRUE(events->waitFor("available", 1));
  ASSERT_TRUE(emulator->hasSession()) << "the link runs on an agreed session key";
  ASSERT_TRUE(emulator->longTermKey());

  std::shared_ptr<trevalon::Card> card = reader->getSlots().front()->getCard();
  ASSERT_TRUE(card);
  ASSERT_EQ(card->getAtr(), *config.cardAtr);
  EXPECT_EQ(card->sendAPDU(kVerify), (Bytes{0x6D, 0x00})) << "the card knows no VERIFY, but it got it";
  Bytes echoed = kEchoed;
  echoed.push_back(0x90);
  echoed.push_back(0x00);
  EXPECT_EQ(card->sendAPDU(kEcho), echoed);
  // A request of the application's own, answered under the session key.
  Bytes answer;
  EXPECT_EQ(trevalon::classic::DevicePipe::InvokeTransmitRpc(reader, {13}, answer), 0);

  const std::string messages = loggedMessages(capture);
  EXPECT_FALSE(logShows(messages, kPin)) << "the PIN";
  EXPECT_FALSE(logShows(messages, kEchoed)) << "the card's decrypted answer and the plain request";
  const auto agreed = emulator->longTermKey();
  const Bytes longTerm(agreed->begin(), agreed->end());
  EXPECT_FALSE(logShows(messages, Bytes(longTerm.begin(), longTerm.begin() + 8))) << "the long-term key";
  EXPECT_EQ(airRunsShown(messages, air->values()), std::set<std::string>())
      << "key agreement payloads and sealed packets, as they crossed the air";

  // What the log does say: names, lengths and the command headers.
  EXPECT_TRUE(capture.contains("APDU 00 20 00 81, 11 bytes"));
  EXPECT_TRUE(capture.contains("SCard [0x02] 12 bytes, APDU 00 20 00 81, 11 bytes"));
  EXPECT_TRUE(capture.contains("ExchangeSessionKey [0xa0]"));
  EXPECT_TRUE(capture.contains("GetDeviceState [0x0d] 0 bytes"));
}

}  // namespace
