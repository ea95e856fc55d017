// SPDX-License-Identifier: Apache-2.0
// The emulated Pentaloq reader seen from the air, without the host's layers: what it accepts, what it
// answers, and what it refuses.
#include <gtest/gtest.h>

#include <mutex>

#include "kelvo/simulator/pentaloq/PentaloqFrames.h"
#include "kelvo/simulator/pentaloq/PentaloqReaderEmulator.h"

using kelvo::simulator::PentaloqFrames;
using kelvo::simulator::PentaloqReaderConfig;
using kelvo::simulator::PentaloqReaderEmulator;

namespace {

// Takes the radio's place: keeps what the reader notifies and its link changes.
class Air : public trevalon::sim::PeripheralListener {
 public:
  void onNotification(const std::string&, const trevalon::ble::Uuid&, const trevalon::ble::Uuid&,
                      std::vector<uint8_t> data) override {
    std::lock_guard<std::mutex> guard(lock);
    packets.push_back(std::move(data));
  }
  void onLinkChanged(const std::string&, bool up) override {
    std::lock_guard<std::mutex> guard(lock);
    links.push_back(up);
  }
  std::vector<std::vector<uint8_t>> take() {
    std::lock_guard<std::mutex> guard(lock);
    std::vector<std::vector<uint8_t>> taken;
    taken.swap(packets);
    return taken;
  }
  std::mutex lock;
  std::vector<std::vector<uint8_t>> packets;
  std::vector<bool> links;
};

// A header of three bytes (a byte and a little-endian length) followed by the body.
std::vector<uint8_t> headed(uint8_t first, size_t length, std::vector<uint8_t>::const_iterator begin,
                            std::vector<uint8_t>::const_iterator end) {
  std::vector<uint8_t> bytes(3 + static_cast<size_t>(end - begin));
  bytes[0] = first;
  bytes[1] = static_cast<uint8_t>(length);
  bytes[2] = static_cast<uint8_t>(length >> 8);
  std::copy(begin, end, bytes.begin() + 3);
  return bytes;
}

std::vector<uint8_t> frame(uint8_t function, const std::vector<uint8_t>& payload) {
  std::vector<uint8_t> bytes = headed(function, payload.size(), payload.begin(), payload.end());
  bytes.push_back(PentaloqFrames::crc8(bytes.data(), bytes.size()));
  return bytes;
}

std::vector<uint8_t> firstChunk(const std::vector<uint8_t>& request) {
  return headed(0, request.size(), request.begin(), request.end());
}

class PentaloqEmulatorTest : public ::testing::Test {
 protected:
  void SetUp() override {
    emulator->attach(air);
    ASSERT_TRUE(emulator->subscribe(PentaloqReaderEmulator::serviceUuid(), PentaloqReaderEmulator::outputUuid(), true));
  }
  bool write(const std::vector<uint8_t>& chunk) {
    return emulator->write(PentaloqReaderEmulator::serviceUuid(), PentaloqReaderEmulator::inputUuid(), chunk);
  }
  // The plain answer frame of one packet, without its packet header.
  std::vector<uint8_t> answerOf(const std::vector<uint8_t>& request) {
    EXPECT_TRUE(write(firstChunk(request)));
    std::vector<std::vector<uint8_t>> packets = air->take();
    if (packets.size() != 1 || packets[0].size() < 3) return {};
    return std::vector<uint8_t>(packets[0].begin() + 3, packets[0].end());
  }

  PentaloqReaderConfig config;
  std::shared_ptr<PentaloqReaderEmulator> emulator = PentaloqReaderEmulator::create(config);
  std::shared_ptr<Air> air = std::make_shared<Air>();
};

TEST_F(PentaloqEmulatorTest, PlainRequestsOnlyForTheKeyExchange) {
  EXPECT_EQ(answerOf(frame(0x30, {})), PentaloqFrames::answer(0x30, 4, {})) << "GetSerial needs encryption";
  EXPECT_EQ(answerOf(frame(0x65, {0x01, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16})),
            PentaloqFrames::answer(0x65, 6, {}))
      << "a check without a key";
  EXPECT_EQ(answerOf(frame(0x65, {0x02, '1', '2', '3', '4', '5', '6', '7', '8'})), PentaloqFrames::answer(0x65, 0, {}));
  EXPECT_EQ(emulator->key(), kelvo::simulator::PentaloqFunctionTable::deriveKey(
                                 {'1', '2', '3', '4', '5', '6', '7', '8'}, config.address));
  EXPECT_EQ(answerOf(frame(0x65, {0x02, '1'})), PentaloqFrames::answer(0x65, 5, {})) << "a short key of 1 byte";
}

TEST_F(PentaloqEmulatorTest, UnreadableRequestsAreAnsweredInPlain) {
  std::vector<uint8_t> badCrc = frame(0x20, {});
  badCrc.back() ^= 1;
  EXPECT_EQ(answerOf(badCrc), PentaloqFrames::answer(0x20, 5, {}));
  EXPECT_EQ(answerOf(std::vector<uint8_t>(16, 0xAB)), PentaloqFrames::answer(0xAB, 5, {})) << "sealed, but no key";
}

TEST_F(PentaloqEmulatorTest, ChunksMustComeInOrder) {
  std::vector<uint8_t> request = frame(0x15, std::vector<uint8_t>(300, 0x11));
  std::vector<uint8_t> first = headed(0, request.size(), request.begin(), request.begin() + 253);
  std::vector<uint8_t> second(1 + request.size() - 253, 2);
  std::copy(request.begin() + 253, request.end(), second.begin() + 1);
  EXPECT_TRUE(write(first));
  EXPECT_FALSE(write(second)) << "index 2 after index 0";
  second[0] = 1;
  EXPECT_FALSE(write(second)) << "the request was dropped with the bad chunk";
  EXPECT_TRUE(air->take().empty());
  EXPECT_FALSE(write({0, 0, 0})) << "a request of no bytes";
}

TEST_F(PentaloqEmulatorTest, NothingIsSentWithoutSubscriptionOrLink) {
  ASSERT_TRUE(emulator->subscribe(PentaloqReaderEmulator::serviceUuid(), PentaloqReaderEmulator::outputUuid(), false));
  EXPECT_TRUE(write(firstChunk(frame(0x30, {}))));
  EXPECT_TRUE(air->take().empty());
  emulator->setLinkUp(false);
  EXPECT_FALSE(write(firstChunk(frame(0x30, {}))));
  EXPECT_FALSE(emulator->subscribe(PentaloqReaderEmulator::serviceUuid(), PentaloqReaderEmulator::outputUuid(), true));
  EXPECT_EQ(air->links, std::vector<bool>{false});
}

TEST_F(PentaloqEmulatorTest, LongAnswersTravelInPacketsThatEachCarryTheTotal) {
  const std::vector<uint8_t> answer(600, 0x5A);
  const std::vector<std::vector<uint8_t>> packets = PentaloqFrames::packets(answer);
  ASSERT_EQ(packets.size(), 3u);
  for (const auto& packet : packets) {
    EXPECT_LE(packet.size(), 256u);
    EXPECT_EQ(packet[0], 0);
    EXPECT_EQ(packet[1] | (packet[2] << 8), 600);
  }
  EXPECT_EQ(packets[2].size(), 3u + 600 - 2 * 253);
}

}  // namespace
