// SPDX-License-Identifier: Apache-2.0
#include <gtest/gtest.h>
#include <deque>

#include <thread>

#include "KelvoStack.h"
#include "LogCapture.h"

using namespace kelvo::test;
using kelvo::simulator::KelvoReaderEmulator;
using kelvo::simulator::KelvoReaderFault;
using Bytes = std::vector<uint8_t>;

namespace {

constexpr uint8_t kGetDeviceState = 13;
constexpr uint8_t kWriteExternalFlash = 20;
constexpr uint8_t kReadExternalFlash = 21;

Bytes pattern(size_t size, uint8_t seed) {
  Bytes bytes(size);
  for (size_t i = 0; i < size; ++i) bytes[i] = static_cast<uint8_t>(seed + i * 31);
  return bytes;
}

// A flash write request of exactly `size` bytes (method id and 6-byte header included), with its data.
Bytes flashRequest(size_t size, uint8_t seed = 1) {
  const size_t length = size - 7;
  Bytes request = {kWriteExternalFlash, 0, 0, 0, 0, static_cast<uint8_t>(length), 0};
  const Bytes data = pattern(length, seed);
  request.insert(request.end(), data.begin(), data.end());
  return request;
}

class PacketTransfer : public ::testing::Test {
 protected:
  PacketTransfer() : stack(KelvoStack::plainConfig()) {}
  void SetUp() override {
    ASSERT_TRUE(stack.connect());
    stack.emulator->resetCounters();
  }
  KelvoStack stack;
  LogCapture capture;
};

TEST_F(PacketTransfer, FramingFollowsTheRequestSize) {
  struct Case {
    size_t size;
    size_t transmitWrites;
    size_t prepareWrites;
    size_t inputWrites;
  };
  // With the initial mtu of 23: below 18 bytes one 'transmit' write, from 18 on 'prepare' and 20-byte 'input's.
  const Case cases[] = {{17, 1, 0, 0}, {18, 0, 1, 1}, {40, 0, 1, 2}, {41, 0, 1, 3}};
  for (const Case& c : cases) {
    stack.emulator->resetCounters();
    const Bytes request = flashRequest(c.size, static_cast<uint8_t>(c.size));
    const Bytes response = stack.packets->transmitRaw(request, true);
    EXPECT_EQ(response, Bytes{0}) << c.size;
    const auto counters = stack.emulator->counters();
    EXPECT_EQ(counters.writes(KelvoReaderEmulator::kTransmit), c.transmitWrites) << c.size;
    EXPECT_EQ(counters.writes(KelvoReaderEmulator::kPrepare), c.prepareWrites) << c.size;
    EXPECT_EQ(counters.writes(KelvoReaderEmulator::kInput), c.inputWrites) << c.size;
    EXPECT_EQ(counters.reads(KelvoReaderEmulator::kProcess2), c.prepareWrites) << c.size;
    EXPECT_EQ(stack.emulator->externalFlash(0, c.size - 7), Bytes(request.begin() + 7, request.end())) << c.size;
  }
}

TEST_F(PacketTransfer, KilobytesBothWays) {
  const Bytes image = pattern(4000, 3);
  Bytes write = {kWriteExternalFlash, 0x10, 0x00, 0x00, 0x00, 0xA0, 0x0F};  // offset 16, 4000 bytes
  write.insert(write.end(), image.begin(), image.end());
  EXPECT_EQ(stack.packets->transmitRaw(write, true), Bytes{0});
  EXPECT_EQ(stack.emulator->externalFlash(16, 4000), image);

  const Bytes response = stack.packets->transmitRaw({kReadExternalFlash, 0x10, 0x00, 0x00, 0x00, 0xA0, 0x0F}, true);
  ASSERT_EQ(response.size(), 4001u);
  EXPECT_EQ(response[0], 0);
  EXPECT_EQ(Bytes(response.begin() + 1, response.end()), image);
}

TEST_F(PacketTransfer, ReorderedAndRepeatedPackagesGiveTheSameResponse) {
  const Bytes read = {kReadExternalFlash, 0x00, 0x00, 0x00, 0x00, 0x32, 0x00};  // 50 bytes: several packages
  const Bytes expected = stack.packets->transmitRaw(read, true);
  ASSERT_EQ(expected.size(), 51u);
  struct Case {
    const char* name;
    KelvoReaderFault::Kind kind;
    std::vector<int> packages;
  };
  const Case cases[] = {
      {"order 2, 0, 1", KelvoReaderFault::Kind::reorderPackages, {2, 0, 1}},
      {"last first", KelvoReaderFault::Kind::reorderPackages, {3, 2}},
      {"package 1 twice", KelvoReaderFault::Kind::repeatPackage, {1}},
      {"package 0 twice", KelvoReaderFault::Kind::repeatPackage, {0}},
  };
  for (const Case& c : cases) {
    KelvoReaderFault fault;
    fault.kind = c.kind;
    fault.packages = c.packages;
    fault.method = kReadExternalFlash;
    stack.emulator->addFault(fault);
    EXPECT_EQ(stack.packets->transmitRaw(read, true), expected) << c.name;
    stack.emulator->clearFaults();
  }
}

TEST_F(PacketTransfer, AStaleRepeatOfTheLastPackageDoesNotLeakIntoTheNextExchange) {
  const Bytes read = {kReadExternalFlash, 0x00, 0x00, 0x00, 0x00, 0x32, 0x00};
  const Bytes expected = stack.packets->transmitRaw(read, true);
  KelvoReaderFault fault;
  fault.kind = KelvoReaderFault::Kind::repeatPackage;
  fault.packages = {3};
  fault.method = kReadExternalFlash;
  stack.emulator->addFault(fault);
  EXPECT_EQ(stack.packets->transmitRaw(read, true), expected);
  stack.radio->waitIdle();
  const Bytes state = stack.packets->transmitRaw({kGetDeviceState}, true);
  ASSERT_EQ(state.size(), 7u) << "the repeated package of the earlier answer must not be taken for this one";
  EXPECT_EQ(state[0], 0);
}

// Packages a test hands out one by one, for orders the emulator does not produce.
class QueuedPackages : public trevalon::kelvo::KelvoBLECharacteristscs {
 public:
  explicit QueuedPackages(std::deque<Bytes> packages) : packages(std::move(packages)) {}
  std::string getAddress() override { return "001a7dda7113"; }
  std::string getId() override { return "001a7dda7113"; }
  bool isConnected() override { return true; }
  bool isAvailable() override { return true; }
  bool isPaired() override { return true; }
  bool setPaired(bool) override { return false; }
  bool writeIndicate(Bytes) override { return true; }
  bool writeInput(Bytes) override { return true; }
  bool writePrepare(Bytes) override { return true; }
  bool writeSpare(Bytes) override { return true; }
  bool writeTransmit(Bytes) override { return true; }
  Bytes readProcess2() override { return {}; }
  Bytes readSpare() override { return {}; }
  Bytes waitOutput2() override { return next(); }
  Bytes waitOutput2(std::chrono::milliseconds) override { return next(); }
  void discardOutput2() override {}

 private:
  Bytes next() {
    if (packages.empty()) return {};
    Bytes package = packages.front();
    packages.pop_front();
    return package;
  }
  std::deque<Bytes> packages;
};

TEST(PacketAssembly, APackageOfAnEarlierAnswerUnderATakenIndexFailsTheTransfer) {
  // Answer of 8 bytes in packages of 5 (package 0 begins with the 4-byte size header); a late copy of another
  // answer's package 1 arrives after this answer's own.
  const Bytes first = {0, 12, 0, 1, 5, 0};
  for (const Bytes& late : {Bytes{1, 9, 9, 9, 9, 9}, Bytes{1, 1, 2, 3, 4, 5}}) {
    LogCapture capture;
    auto packages = std::make_shared<QueuedPackages>(std::deque<Bytes>{first, {1, 1, 2, 3, 4, 5}, late, {2, 6, 7}});
    auto transfer = std::make_shared<trevalon::kelvo::KelvoBLEReaderKelvoBLECharacteristscsTranslator>();
    transfer->setMaster(packages);
    const Bytes answer = transfer->transmitRaw({kGetDeviceState}, true);
    if (late[1] == 9) {
      EXPECT_EQ(answer, Bytes{0x81}) << "neither package can be trusted";
      EXPECT_TRUE(capture.containsAt("ERROR", "two different packages with index=1"));
    } else {
      EXPECT_EQ(answer, (Bytes{0, 1, 2, 3, 4, 5, 6, 7})) << "a package sent twice is harmless";
    }
  }
}

TEST_F(PacketTransfer, AMissingPackageFailsTheTransfer) {
  KelvoReaderFault fault;
  fault.kind = KelvoReaderFault::Kind::dropPackage;
  fault.packages = {1};
  fault.method = kReadExternalFlash;
  stack.emulator->addFault(fault);
  EXPECT_EQ(stack.packets->transmitRaw({kReadExternalFlash, 0, 0, 0, 0, 0x32, 0x00}, true), Bytes{0x81});
  EXPECT_TRUE(capture.containsAt("ERROR", "packages are missing. expected 3 received 2"));
}

TEST_F(PacketTransfer, ARequestOver65535BytesIsRefusedWithoutTraffic) {
  stack.emulator->resetCounters();
  EXPECT_EQ(stack.packets->transmitRaw(Bytes(65536, 0x14), true), Bytes{0x81});
  EXPECT_TRUE(capture.containsAt("ERROR", "data is too big"));
  EXPECT_EQ(stack.emulator->counters().total(), 0u);
}

TEST_F(PacketTransfer, NotificationsAreParsedAndUnknownIdsBecome255) {
  stack.emulator->sendNotification({0x09, 0x01});
  stack.emulator->sendNotification({0x06, 0x01});
  stack.emulator->sendNotification({});
  ASSERT_TRUE(stack.events->waitFor([&] { return stack.events->notifications.size() >= 2; }));
  auto notifications = stack.events->read(stack.events->notifications);
  std::sort(notifications.begin(), notifications.end());
  EXPECT_EQ(notifications[0], std::make_pair(uint8_t{6}, Bytes{1}));
  EXPECT_EQ(notifications[1], std::make_pair(uint8_t{255}, Bytes{1}));
  ASSERT_TRUE(stack.events->waitFor([&] { return capture.containsAt("ERROR", "Empty notification"); }));
}

TEST_F(PacketTransfer, MtuGrowsWithLargerPackagesAndChangesTheFraming) {
  EXPECT_EQ(stack.packets->getMtu(), 23u);
  ASSERT_TRUE(stack.packets->updateMtu()) << "MaxRequestSize answers the reader's size";
  EXPECT_EQ(stack.packets->getMtu(), 512u);
  stack.emulator->resetCounters();
  EXPECT_EQ(stack.packets->transmitRaw(flashRequest(40), true), Bytes{0});
  EXPECT_EQ(stack.emulator->counters().writes(KelvoReaderEmulator::kTransmit), 1u) << "40 bytes now fit one write";
  EXPECT_EQ(stack.emulator->counters().writes(KelvoReaderEmulator::kPrepare), 0u);

  // The reader now answers in larger packages, which keep the mtu up on their own.
  const Bytes response = stack.packets->transmitRaw({kReadExternalFlash, 0, 0, 0, 0, 0xE8, 0x03}, true);
  EXPECT_EQ(response.size(), 1001u);
  EXPECT_GE(stack.packets->getMtu(), 244u);
}

TEST_F(PacketTransfer, TheLinkGoingDownResetsTheMtu) {
  ASSERT_TRUE(stack.packets->updateMtu());
  ASSERT_EQ(stack.packets->getMtu(), 512u);
  stack.native->disconnect();
  EXPECT_EQ(stack.packets->getMtu(), 23u);
}

TEST_F(PacketTransfer, ConcurrentCallersEachGetTheirOwnAnswer) {
  constexpr int kThreads = 4;
  constexpr int kRounds = 15;
  std::vector<std::thread> callers;
  std::atomic<int> wrong{0};
  for (int t = 0; t < kThreads; ++t) {
    callers.emplace_back([&, t] {
      for (int round = 0; round < kRounds; ++round) {
        // Each caller reads its own flash area, of its own length, so answers cannot be confused.
        const uint8_t length = static_cast<uint8_t>(10 + t * 7 + round % 3);
        const Bytes response =
            stack.packets->transmitRaw({kReadExternalFlash, static_cast<uint8_t>(t * 64), 0, 0, 0, length, 0}, true);
        if (response.size() != static_cast<size_t>(length) + 1 || response[0] != 0) ++wrong;
      }
    });
  }
  std::thread noise([&] {
    for (int i = 0; i < 20; ++i) stack.emulator->setBatteryLevel(static_cast<uint8_t>(50 + i));
  });
  for (auto& caller : callers) caller.join();
  noise.join();
  EXPECT_EQ(wrong.load(), 0);
  EXPECT_EQ(stack.packets->transmitRaw({kGetDeviceState}, true).size(), 7u);
}

}  // namespace
