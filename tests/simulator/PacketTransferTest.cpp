// SPDX-License-Identifier: Apache-2.0
// The reader's side of the packet transfer and the RPC frame, driven in raw GATT operations.

#include <gmock/gmock.h>

#include <atomic>
#include <thread>

#include "EmulatorFixture.h"

namespace kelvo::test {
namespace {

using ::testing::ElementsAre;
using Emulator = kelvo::simulator::KelvoReaderEmulator;
using Operation = kelvo::simulator::GattCounters::Operation;

class PacketTransferTest : public EmulatorFixture {};

TEST_F(PacketTransferTest, SeventeenByteRequestIsOneTransmitWriteOfNineteenBytes) {
  start();
  // SetMobDeviceName with a 16-character name: 17 bytes of request.
  Bytes request{4};
  const Bytes name = text("workstation-0001");
  request.insert(request.end(), name.begin(), name.end());
  ASSERT_EQ(request.size(), 17u);

  Bytes frame{17, 0};
  frame.insert(frame.end(), request.begin(), request.end());
  ASSERT_TRUE(host->write(Emulator::kTransmit, frame));
  std::optional<Bytes> package = host->next(Emulator::kOutput2);
  ASSERT_TRUE(package);
  // Index 0, total 5 (header and the status byte), 1, package size 19, status 0.
  EXPECT_THAT(*package, ElementsAre(0, 5, 0, 1, 19, 0));
  EXPECT_EQ(emulator->state().clientName, "workstation-0001");
  EXPECT_EQ(emulator->counters().writes(Emulator::kTransmit), 1u);
  EXPECT_EQ(emulator->counters().writes(Emulator::kPrepare), 0u);
}

TEST_F(PacketTransferTest, EighteenByteRequestIsPreparedThenOneInputWrite) {
  start();
  Bytes request{4};
  const Bytes name = text("workstation-00017");
  request.insert(request.end(), name.begin(), name.end());
  ASSERT_EQ(request.size(), 18u);

  ASSERT_TRUE(host->write(Emulator::kPrepare, {0x12, 0x00}));
  ASSERT_TRUE(host->write(Emulator::kInput, request));
  // Size 1 (the status byte alone), 1, package size 19.
  EXPECT_THAT(host->read(Emulator::kProcess2), ElementsAre(1, 0, 1, 19));
  std::optional<Bytes> package = host->next(Emulator::kOutput2);
  ASSERT_TRUE(package);
  EXPECT_THAT(*package, ElementsAre(0, 0));
  EXPECT_EQ(emulator->state().clientName, "workstation-00017");
}

TEST_F(PacketTransferTest, FortyByteRequestArrivesInTwoInputPieces) {
  start();
  // WriteExternalFlash in the application's layout: offset 32-bit, length 16-bit, 33 data bytes.
  Bytes request{20, 0x10, 0x00, 0x00, 0x00, 33, 0};
  for (uint8_t i = 0; i < 33; ++i) request.push_back(i);
  ASSERT_EQ(request.size(), 40u);

  std::optional<Bytes> response = host->transmitPrepared(request);
  ASSERT_TRUE(response);
  EXPECT_THAT(*response, ElementsAre(0));
  EXPECT_EQ(emulator->counters().writes(Emulator::kInput), 2u);
  Bytes expected(request.begin() + 7, request.end());
  EXPECT_EQ(emulator->externalFlash(0x10, 33), expected);
}

TEST_F(PacketTransferTest, LongAnswerIsSplitIntoNumberedPackagesOfTheCurrentSize) {
  start();
  std::optional<Bytes> descriptor = host->transmit({1});
  ASSERT_TRUE(descriptor);
  EXPECT_EQ((*descriptor)[0], 0);
  // Header and answer are cut in pieces of 19 bytes behind one index byte each.
  const size_t total = descriptor->size() + 4;
  EXPECT_EQ(emulator->counters().notifications(Emulator::kOutput2), (total + 18) / 19);

  // The prepared framing carries the same answer without the header.
  Bytes padded{1};
  padded.resize(18, 0);  // trailing bytes are ignored by GetDeviceDescriptor
  std::optional<Bytes> again = host->transmitPrepared(padded);
  ASSERT_TRUE(again);
  EXPECT_EQ(*again, *descriptor);
}

TEST_F(PacketTransferTest, PackageSizeGrowsWhenTheHostNegotiates) {
  start();
  EXPECT_EQ(emulator->packSize(), 19u);
  std::optional<Bytes> size = host->transmit({16});
  ASSERT_TRUE(size);
  EXPECT_THAT(*size, ElementsAre(0, 0x00, 0x02));  // 512
  EXPECT_EQ(emulator->packSize(), 240u);

  std::optional<Bytes> set = host->transmit({67, 100});
  ASSERT_TRUE(set);
  EXPECT_THAT(*set, ElementsAre(0));
  EXPECT_EQ(emulator->packSize(), 100u);
  // Sizes a notification cannot carry are refused.
  EXPECT_THAT(*host->transmit({67, 0}), ElementsAre(1));
  EXPECT_THAT(*host->transmit({67, 244}), ElementsAre(1));
  EXPECT_EQ(emulator->packSize(), 100u);

  std::optional<Bytes> descriptor = host->transmit({1});
  ASSERT_TRUE(descriptor);
  EXPECT_LE(emulator->counters().notifications(Emulator::kOutput2), 6u);
}

TEST_F(PacketTransferTest, LinkLossStartsTheNextConnectionWithSmallPackages) {
  start();
  ASSERT_TRUE(host->transmit({16}));
  ASSERT_EQ(emulator->packSize(), 240u);
  emulator->setLinkUp(false);
  emulator->setLinkUp(true);
  EXPECT_EQ(emulator->packSize(), 19u);
}

TEST_F(PacketTransferTest, Process2WithoutAPendingAnswerReportsSizeZero) {
  start();
  // A host's sanity check rejects size 0, so a stray read can never be taken for an answer.
  EXPECT_THAT(host->read(Emulator::kProcess2), ElementsAre(0, 0, 1, 19));
}

TEST_F(PacketTransferTest, StatusBytesOfTheTable) {
  start();
  struct Case {
    const char* what;
    Bytes request;
    uint8_t status;
  };
  const std::vector<Case> cases = {
      {"GetBatteryLevel", {5}, 0},
      {"unknown method 24", {24}, 2},
      {"unknown method 99", {99}, 2},
      {"SetSettings id 16", {9, 16, 1}, 1},
      {"SetSettings without value", {9, 1}, 1},
      {"SetLocalTime past the week", {10, 0x60, 0x27}, 1},
      {"SetLocalTime 10079", {10, 0x5F, 0x27}, 0},
      {"RemoveBondedDeviceByIndex unknown", {15, 9}, 1},
      {"ExchangeKey short", {3, 1, 2, 3}, 1},
      {"SCard without card", {2, 1}, 1},
      {"SetWorkingTimeRanges short", {12, 0, 0}, 1},
      {"SetMobDeviceName empty", {4}, 1},
  };
  for (const Case& c : cases) {
    std::optional<Bytes> response = host->transmit(c.request);
    ASSERT_TRUE(response) << c.what;
    ASSERT_FALSE(response->empty()) << c.what;
    EXPECT_EQ((*response)[0], c.status) << c.what;
  }
}

TEST_F(PacketTransferTest, MalformedFramingIsRefusedAtTheWrite) {
  start();
  EXPECT_FALSE(host->write(Emulator::kTransmit, {5, 0, 1}));  // announces 5, carries 1
  EXPECT_FALSE(host->write(Emulator::kTransmit, {}));
  EXPECT_FALSE(host->write(Emulator::kPrepare, {0, 0}));
  EXPECT_FALSE(host->write(Emulator::kPrepare, {1}));
  EXPECT_FALSE(host->write(Emulator::kInput, {1, 2, 3}));  // nothing announced
  ASSERT_TRUE(host->write(Emulator::kPrepare, {2, 0}));
  EXPECT_FALSE(host->write(Emulator::kInput, {5, 5, 5}));  // more than announced
  EXPECT_TRUE(host->drain(radio, Emulator::kOutput2).empty());
  // The reader is still in a state to serve the next request.
  EXPECT_THAT(*host->transmit({5}), ElementsAre(0, 80));
}

TEST_F(PacketTransferTest, RandomBytesOnEveryCharacteristicNeverBreakTheReader) {
  start();
  uint32_t seed = 12345;
  auto nextRandom = [&seed] {
    seed = seed * 1103515245u + 12345u;
    return static_cast<uint8_t>(seed >> 16);
  };
  const std::vector<uint16_t> writable = {Emulator::kPrepare, Emulator::kInput, Emulator::kSpareWrite,
                                          Emulator::kTransmit, Emulator::kIndicate};
  for (int round = 0; round < 2000; ++round) {
    Bytes value(nextRandom() % 48);
    for (uint8_t& byte : value) byte = nextRandom();
    if (round % 3 == 0 && value.size() >= 3) {
      // Well-framed, so that the bytes reach the RPC table and the decryption.
      value[0] = static_cast<uint8_t>(value.size() - 2);
      value[1] = 0;
      if (round % 2 == 0) value[2] = 0xFF;
      host->write(Emulator::kTransmit, value);
    } else {
      host->write(writable[nextRandom() % writable.size()], value);
    }
    if (round % 50 == 0) host->read(Emulator::kProcess2);
    // Noise may well send the reader to its bootloader or make it reconnect; bring it back each time.
    if (!emulator->isLinkUp()) emulator->leaveBootMode();
  }
  host->drain(radio, Emulator::kOutput2);
  host->drain(radio, Emulator::kNotification);
  emulator->changeSetting(7, 0);
  host->drain(radio, Emulator::kNotification);
  std::optional<Bytes> response = host->transmit({5});
  ASSERT_TRUE(response);
  EXPECT_EQ(response->size(), 2u);
  EXPECT_GT(emulator->counters().writes(Emulator::kTransmit), 500u);
}

TEST_F(PacketTransferTest, CountersSeeEveryOperationAndNothingElse) {
  start();
  emulator->resetCounters();
  EXPECT_EQ(emulator->counters().total(), 0u);
  ASSERT_TRUE(host->transmit({5}));
  const auto counters = emulator->counters();
  EXPECT_EQ(counters.writes(Emulator::kTransmit), 1u);
  EXPECT_EQ(counters.notifications(Emulator::kOutput2), 1u);
  EXPECT_EQ(counters.total(), 2u);

  // Without a subscription the reader has nobody to notify, and nothing goes on the air.
  host->reader->unregisterCharacteristic(host->service, Emulator::characteristicUuid(Emulator::kNotification));
  emulator->resetCounters();
  emulator->setBatteryLevel(50);
  EXPECT_EQ(emulator->counters().total(), 0u);
}

TEST_F(PacketTransferTest, ExchangesStayWholeWhileTheReaderIsBusyElsewhere) {
  start();
  std::atomic<bool> done{false};
  std::thread person([&] {
    // Someone plays with the reader while the host talks to it, no faster than the radio delivers.
    for (uint8_t round = 0; !done; ++round) {
      emulator->setBatteryLevel(static_cast<uint8_t>(round % 100));
      if (round % 2 == 0) {
        emulator->insertCard({0x3B, 0x00});
      } else {
        emulator->removeCard();
      }
      emulator->state();
      emulator->counters();
      radio->waitIdle();
    }
  });
  struct Join {
    std::atomic<bool>& done;
    std::thread& thread;
    ~Join() {
      done = true;
      thread.join();
    }
  } join{done, person};
  for (int i = 0; i < 200; ++i) {
    std::optional<Bytes> descriptor = host->transmit({1});
    ASSERT_TRUE(descriptor) << i;
    ASSERT_EQ((*descriptor)[0], 0) << i;
    std::optional<Bytes> state = host->transmitPrepared(Bytes{13, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0});
    ASSERT_TRUE(state) << i;
    ASSERT_EQ(state->size(), 7u) << i;
  }
  EXPECT_GT(emulator->counters().notifications(Emulator::kNotification), 0u);
}

}  // namespace
}  // namespace kelvo::test
