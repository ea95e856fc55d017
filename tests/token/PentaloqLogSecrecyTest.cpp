// SPDX-License-Identifier: Apache-2.0
// A whole Pentaloq reader stack with every log level captured, through the key set-up, a PIN verification and
// an exchange with the card: the log names what happened and shows none of the secrets that crossed the stack.
#include <gtest/gtest.h>

#include "AirRecorder.h"
#include "LogCapture.h"
#include "LoggedBytes.h"
#include "PentaloqStack.h"
#include "ReaderEvents.h"
#include "SettingsFixture.h"
#include "StackRelease.h"
#include "kelvo/simulator/pentaloq/PentaloqReaderEmulator.h"
#include "trevalon/Reader.h"
#include "trevalon/sim/BLEReaderSim.h"
#include "trevalon/sim/SimulatedRadio.h"

using namespace kelvo::test;
using kelvo::simulator::PentaloqReaderConfig;
using kelvo::simulator::PentaloqReaderEmulator;
using Bytes = std::vector<uint8_t>;

namespace {

const Bytes kPin = {'1', '2', '3', '4', '5', '6'};
const Bytes kVerify = {0x00, 0x20, 0x00, 0x81, 0x06, '1', '2', '3', '4', '5', '6'};
const Bytes kEchoed = {0x5e, 0xc2, 0xe7, 0xda, 0x7a, 0x41, 0x19, 0x8b};
const Bytes kEcho = {0x80, 0xEE, 0x00, 0x00, 0x08, 0x5e, 0xc2, 0xe7, 0xda, 0x7a, 0x41, 0x19, 0x8b};

class PentaloqLogSecrecy : public ::testing::Test {
 protected:
  PentaloqLogSecrecy() {
    emulator = PentaloqReaderEmulator::create(config);
    air = AirRecorder::wrap(emulator);
    radio->addPeripheral(air);
    radio->waitIdle();
    native = trevalon::sim::BLEReaderSim::create(radio, "/org/bluez/hci0/dev_" + config.address, config.address,
                                                 config.name);
    trevalon::Reader::StackOptions options;
    options.characteristicTimeout = std::chrono::seconds(1);
    reader = trevalon::Reader::create(native, options);
    if (reader) reader->addObserver(events);
  }
  ~PentaloqLogSecrecy() override {
    std::weak_ptr<trevalon::ble::BLEReader> bottom;
    if (reader) bottom = PentaloqLayers(reader).ble;
    reader.reset();
    waitGone(bottom);
  }

  SettingsFixture settingsStore;
  LogCapture capture;
  PentaloqReaderConfig config;
  std::shared_ptr<trevalon::sim::SimulatedRadio> radio = trevalon::sim::SimulatedRadio::create();
  std::shared_ptr<PentaloqReaderEmulator> emulator;
  std::shared_ptr<AirRecorder> air;
  std::shared_ptr<trevalon::sim::BLEReaderSim> native;
  std::shared_ptr<trevalon::Reader> reader;
  std::shared_ptr<ReaderEvents> events = std::make_shared<ReaderEvents>();
};

TEST_F(PentaloqLogSecrecy, TheShortKeyPinsAndAnswersNeverReachTheLog) {
  ASSERT_TRUE(reader);
  native->connect();
  ASSERT_TRUE(events->waitFor("connected", 1));
  ASSERT_TRUE(events->waitFor("state", trevalon::kCardPresent));
  ASSERT_TRUE(emulator->key()) << "a key was set up";

  ASSERT_EQ(reader->getAtr(), *config.cardAtr);
  EXPECT_EQ(reader->sendAPDU(kVerify), (Bytes{0x6D, 0x00})) << "the card knows no VERIFY, but it got it";
  Bytes echoed = kEchoed;
  echoed.push_back(0x90);
  echoed.push_back(0x00);
  EXPECT_EQ(reader->sendAPDU(kEcho), echoed);
  EXPECT_EQ(emulator->state().apdus.front(), kVerify);

  const std::string messages = loggedMessages(capture);
  EXPECT_FALSE(logShows(messages, kPin)) << "the PIN";
  EXPECT_FALSE(logShows(messages, kEchoed)) << "the card's decrypted answer and the plain request";
  const auto held = emulator->key();
  const Bytes key(held->begin(), held->end());
  EXPECT_FALSE(logShows(messages, Bytes(key.begin(), key.begin() + 8))) << "the link key";
  EXPECT_EQ(airRunsShown(messages, air->values()), std::set<std::string>())
      << "the short key as it crossed the air in plain, and sealed frames";

  EXPECT_TRUE(capture.contains("SendApdu [0x15] 11 bytes, APDU 00 20 00 81, 11 bytes"));
  EXPECT_TRUE(capture.contains("Syncronize [0x65] 9 bytes"));
}

}  // namespace
