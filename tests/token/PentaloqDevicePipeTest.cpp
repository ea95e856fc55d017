// SPDX-License-Identifier: Apache-2.0
// The in-process device requests on a Pentaloq reader: the state record from its answers, every Kelvo-only
// request refused without radio traffic.
#include <gtest/gtest.h>

#include "LogCapture.h"
#include "PentaloqStack.h"
#include "SettingsFixture.h"
#include "trevalon/classic/DevicePipe.h"

using namespace kelvo::test;
using trevalon::classic::DevicePipe;

namespace {

class PentaloqDevicePipeTest : public ::testing::Test {
 protected:
  SettingsFixture settingsStore;
  LogCapture capture;
  kelvo::simulator::PentaloqReaderConfig config;
};

TEST_F(PentaloqDevicePipeTest, TheStateRecordComesFromTheReadersAnswers) {
  PentaloqStack stack(config);
  ASSERT_TRUE(stack.connect());
  std::vector<uint8_t> record;
  ASSERT_EQ(DevicePipe::InvokeGetDeviceState(stack.reader, record), DevicePipe::kSuccess);
  ASSERT_EQ(record.size(), DevicePipe::kDeviceStateSize);
  std::vector<uint8_t> expected(DevicePipe::kDeviceStateSize, 0);
  expected[0] = 1;   // always available
  expected[1] = 6;   // a card present
  expected[2] = 64;  // the reader's battery
  expected[3] = 1;
  expected[6] = 0xFF;  // no cable status
  expected[7] = 1;
  for (size_t at : {8, 9, 10, 11, 13, 14, 15}) expected[at] = 0xFF;  // no settings
  EXPECT_EQ(record, expected);
}

TEST_F(PentaloqDevicePipeTest, KelvoRequestsAreRefusedWithoutTraffic) {
  PentaloqStack stack(config);
  ASSERT_TRUE(stack.connect());
  std::vector<uint8_t> record;
  ASSERT_EQ(DevicePipe::InvokeGetDeviceState(stack.reader, record), DevicePipe::kSuccess);
  stack.emulator->resetCounters();
  std::vector<uint8_t> out;
  EXPECT_EQ(DevicePipe::InvokeGetDeviceDescriptor(stack.reader, out), DevicePipe::kRefused);
  EXPECT_EQ(DevicePipe::InvokeIndicate(stack.reader, {0x01}), DevicePipe::kRefused);
  EXPECT_EQ(DevicePipe::InvokeSetSetting(stack.reader, {6, 0}), DevicePipe::kRefused);
  EXPECT_EQ(DevicePipe::InvokeTransmitRpc(stack.reader, {0x0D}, out), DevicePipe::kRefused);
  EXPECT_EQ(DevicePipe::InvokeSetWorkingTimeRanges(stack.reader, std::vector<uint8_t>(28, 0)), DevicePipe::kSuccess)
      << "the record the cache holds";
  std::vector<uint8_t> ranges(28, 0xFF);
  ranges[0] = 0x80;
  ranges[1] = 0x07;
  EXPECT_EQ(DevicePipe::InvokeSetWorkingTimeRanges(stack.reader, ranges), DevicePipe::kRefused);
  EXPECT_EQ(DevicePipe::InvokeSetWorkingTimeRanges(stack.reader, std::vector<uint8_t>(27, 0)), DevicePipe::kWrongSize);
  EXPECT_EQ(stack.emulator->counters().total(), 0u);
}

}  // namespace
