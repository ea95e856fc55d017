// SPDX-License-Identifier: Apache-2.0
#include <gtest/gtest.h>

#include <thread>

#include "FakeReader.h"
#include "LogCapture.h"
#include "ReaderStack.h"
#include "SettingsFixture.h"
#include "trevalon/ReaderCache.h"
#include "trevalon/classic/DevicePipe.h"

using namespace kelvo::test;
using kelvo::simulator::KelvoReaderConfig;
using kelvo::simulator::KelvoReaderEmulator;
using kelvo::simulator::KelvoReaderState;
using trevalon::classic::DevicePipe;
using Bytes = std::vector<uint8_t>;

namespace {

int16_t int16At(const Bytes& record, size_t at) {
  return static_cast<int16_t>(static_cast<uint16_t>(record[at] | (record[at + 1] << 8)));
}

// The record as the application reads it, checked field by field against what the emulated reader holds.
void expectRecordOf(const KelvoReaderState& reader, const Bytes& record, uint8_t cardStatus) {
  ASSERT_EQ(record.size(), 44u);
  EXPECT_EQ(record[0], 1) << "connected";
  EXPECT_EQ(record[1], cardStatus) << "card";
  EXPECT_EQ(record[2], reader.battery) << "battery";
  EXPECT_EQ(record[3], 1) << "encryption status";
  EXPECT_EQ(int16At(record, 4), 0) << "ATR number";
  EXPECT_EQ(record[6], reader.usb) << "USB cable";
  EXPECT_EQ(record[7], 1) << "encryption used";
  EXPECT_EQ(record[8], reader.setting(1)) << "signal strength";
  EXPECT_EQ(record[9], reader.setting(2)) << "advertising";
  EXPECT_EQ(record[10], reader.setting(3)) << "display";
  EXPECT_EQ(record[11], reader.setting(4)) << "backlight";
  EXPECT_EQ(record[12], 0) << "contrast";
  EXPECT_EQ(record[13], reader.setting(6)) << "buzzer";
  EXPECT_EQ(record[14], 0xFF) << "encryption setting: not known to the generic reader";
  EXPECT_EQ(record[15], reader.setting(8)) << "coverage";
  for (size_t day = 0; day < 7; ++day) {
    EXPECT_EQ(int16At(record, 16 + 4 * day), reader.ranges[day].first) << "start of range " << day;
    EXPECT_EQ(int16At(record, 18 + 4 * day), reader.ranges[day].second) << "end of range " << day;
  }
}

class DevicePipeTest : public ::testing::Test {
 protected:
  void build(const KelvoReaderConfig& config = standard()) {
    stack = std::make_unique<ReaderStack>(config);
    ASSERT_TRUE(stack->connect());
    device = stack->reader;
  }
  static KelvoReaderConfig standard() {
    KelvoReaderConfig config;
    config.settings = {{1, 2}, {2, 1}, {3, 1}, {4, 0}, {6, 1}, {8, 0xBA}};
    config.ranges = {{{480, 1080}, {1920, 2520}, {-1, -1}, {-1, -1}, {-1, -1}, {-1, -1}, {9000, 9500}}};
    config.cardAtr = Bytes{0x3B, 0x80, 0x01};
    return config;
  }
  size_t traffic() { return stack->emulator->counters().total(); }

  SettingsFixture settingsStore;
  LogCapture capture;
  std::unique_ptr<ReaderStack> stack;
  std::shared_ptr<trevalon::Device> device;
};

TEST_F(DevicePipeTest, DeviceStateMatchesTheReaderAndAWarmCacheCostsNoTraffic) {
  build();
  Bytes record;
  EXPECT_EQ(DevicePipe::InvokeGetDeviceState(device, record), 0);
  expectRecordOf(stack->emulator->state(), record, 6);
  stack->emulator->resetCounters();
  Bytes again;
  EXPECT_EQ(DevicePipe::InvokeGetDeviceState(device, again), 0);
  EXPECT_EQ(again, record);
  EXPECT_EQ(traffic(), 0u);
  EXPECT_TRUE(capture.contains("??? \"001a7dda7113\" requested"));
  EXPECT_TRUE(capture.contains("+++ \"001a7dda7113\" locked"));
  EXPECT_TRUE(capture.contains("--- \"001a7dda7113\" unlocked"));
}

TEST_F(DevicePipeTest, ASettingReachesTheReaderAndComesBackAsAnEvent) {
  build();
  stack->events->forget();
  stack->emulator->resetCounters();
  EXPECT_EQ(DevicePipe::InvokeSetSetting(device, {1, 3, 0}), 6);
  EXPECT_EQ(DevicePipe::InvokeSetSetting(device, {1}), 6);
  EXPECT_EQ(traffic(), 0u) << "a malformed request never reaches the reader";

  EXPECT_EQ(DevicePipe::InvokeSetSetting(device, {1, 3}), 0);
  EXPECT_EQ(stack->emulator->state().setting(1), 3);
  EXPECT_TRUE(stack->events->waitFor("signal", 3));
  EXPECT_EQ(device->getSignalStrength(), 3);
  EXPECT_EQ(stack->events->count("signal", 3), 1u) << "the reader's own notification repeats a known value";
}

TEST_F(DevicePipeTest, WorkingTimeRanges) {
  build();
  Bytes record;
  DevicePipe::InvokeGetDeviceState(device, record);
  const Bytes current(record.begin() + 16, record.end());
  stack->emulator->resetCounters();
  EXPECT_EQ(DevicePipe::InvokeSetWorkingTimeRanges(device, Bytes(current.begin(), current.end() - 1)), 5);
  EXPECT_EQ(DevicePipe::InvokeSetWorkingTimeRanges(device, current), 0);
  EXPECT_EQ(traffic(), 0u) << "unchanged ranges are not sent";

  Bytes changed = current;
  changed[8] = 0x10;  // day 2 starts at minute 16
  changed[9] = 0x00;
  EXPECT_EQ(DevicePipe::InvokeSetWorkingTimeRanges(device, changed), 0);
  EXPECT_EQ(stack->emulator->state().ranges[2].first, 16);
}

TEST_F(DevicePipeTest, RpcRequestsAreFilteredThenSentEncrypted) {
  build();
  stack->emulator->resetCounters();
  for (uint8_t method : {2, 3, 4, 10, 16, 71, 160, 255, 6, 7, 100, 254}) {
    Bytes response;
    EXPECT_EQ(DevicePipe::InvokeTransmitRpc(device, {method, 0x00}, response), 6) << int(method);
    EXPECT_TRUE(response.empty());
  }
  Bytes response;
  EXPECT_EQ(DevicePipe::InvokeTransmitRpc(device, {}, response), 6);
  EXPECT_EQ(traffic(), 0u);

  EXPECT_EQ(DevicePipe::InvokeTransmitRpc(device, {0x0D}, response), 0);
  const KelvoReaderState reader = stack->emulator->state();
  EXPECT_EQ(response, (Bytes{0x00, reader.setting(7), reader.cardStatus, reader.battery, reader.usb, 0, 0}))
      << "the whole answer, status first";
}

TEST_F(DevicePipeTest, DescriptorAndIndications) {
  build();
  Bytes descriptor;
  EXPECT_EQ(DevicePipe::InvokeGetDeviceDescriptor(device, descriptor), 0);
  const std::string text(descriptor.begin(), descriptor.end());
  EXPECT_NE(text.find("Firmware"), std::string::npos);
  EXPECT_NE(text.find("1.4.2"), std::string::npos);

  stack->emulator->resetCounters();
  EXPECT_EQ(DevicePipe::InvokeIndicate(device, {}), 6);
  EXPECT_EQ(DevicePipe::InvokeIndicate(device, {1}), 0);  // repeat the card status
  EXPECT_EQ(stack->emulator->counters().writes(KelvoReaderEmulator::kIndicate), 1u);
  EXPECT_EQ(stack->emulator->counters().writes(KelvoReaderEmulator::kTransmit) +
                stack->emulator->counters().writes(KelvoReaderEmulator::kInput),
            0u)
      << "a command bypasses the packet layer";
}

TEST(DevicePipeRecord, CardStatusFollowsTheSlotsState) {
  struct Case {
    trevalon::CardState state;
    uint8_t status;
  };
  const std::vector<Case> cases = {{0, 1}, {1, 1}, {0x81, 2}, {2, 6}, {5, 6}, {6, 6}, {0x83, 6}, {0x86, 6}};
  for (const Case& c : cases) {
    auto reader = std::make_shared<FakeReader>();
    reader->state = c.state;
    Bytes record;
    EXPECT_EQ(DevicePipe::InvokeGetDeviceState(reader, record), 0);
    ASSERT_EQ(record.size(), 44u);
    EXPECT_EQ(record[1], c.status) << "state " << int(c.state);
  }
}

TEST(DevicePipeRecord, AnotherFamilysReaderIsServedOnlyThroughTheDeviceInterface) {
  LogCapture capture;
  auto lower = std::make_shared<FakeReader>();
  std::shared_ptr<trevalon::Device> device =
      trevalon::common::createTranslator<trevalon::ReaderCache>(std::shared_ptr<trevalon::Reader>(lower));
  Bytes out;
  Bytes record;
  EXPECT_EQ(DevicePipe::InvokeGetDeviceState(device, record), 0);
  EXPECT_EQ(record[2], 55);
  EXPECT_EQ(DevicePipe::InvokeGetDeviceDescriptor(device, out), 6);
  EXPECT_EQ(DevicePipe::InvokeIndicate(device, {1, 0, 0}), 6);
  EXPECT_EQ(DevicePipe::InvokeSetSetting(device, {1, 2}), 6);
  EXPECT_EQ(DevicePipe::InvokeTransmitRpc(device, {0x0D}, out), 6);
  lower->accepts = false;
  const Bytes ranges(record.begin() + 16, record.end());
  EXPECT_EQ(DevicePipe::InvokeSetWorkingTimeRanges(device, ranges), 0) << "what the cache holds already";
  Bytes other = ranges;
  other[0] = 1;
  EXPECT_EQ(DevicePipe::InvokeSetWorkingTimeRanges(device, other), 6);
  EXPECT_EQ(DevicePipe::InvokeGetDeviceState(nullptr, record), 6);
}

TEST_F(DevicePipeTest, RequestsFromManyThreadsAreServedOneAtATime) {
  build();
  std::vector<std::thread> threads;
  std::atomic<int> failures{0};
  for (int i = 0; i < 4; ++i) {
    threads.emplace_back([&, i] {
      for (int n = 0; n < 5; ++n) {
        Bytes record;
        Bytes response;
        if (DevicePipe::InvokeGetDeviceState(device, record) != 0) ++failures;
        if (DevicePipe::InvokeTransmitRpc(device, {0x05}, response) != 0 || response.size() != 2) ++failures;
        if (DevicePipe::InvokeSetSetting(device, {6, static_cast<uint8_t>((i + n) % 2)}) != 0) ++failures;
      }
    });
  }
  for (std::thread& thread : threads) thread.join();
  EXPECT_EQ(failures.load(), 0);
}

}  // namespace
