#include <gtest/gtest.h>

#include <future>
#include <thread>

#include "KelvoStack.h"
#include "LogCapture.h"

using namespace kelvo::test;
using kelvo::simulator::KelvoReaderConfig;
using kelvo::simulator::KelvoReaderEmulator;
using trevalon::ble::kReaderService;
using trevalon::kelvo::KelvoBLECharacteristscs;
using Bytes = std::vector<uint8_t>;
using Clock = std::chrono::steady_clock;

namespace {

const trevalon::ble::Uuid kOutput2 = KelvoBLECharacteristscs::kOutput2;
const trevalon::ble::Uuid kNotification = KelvoBLECharacteristscs::kNotification;

TEST(SynchronousReader, WaitOnAPairNeverConfiguredReturnsAtOnce) {
  KelvoStack stack(KelvoStack::plainConfig());
  LogCapture capture;
  const auto started = Clock::now();
  EXPECT_TRUE(stack.ble->wait(kReaderService, kNotification, std::chrono::seconds(5)).empty());
  EXPECT_LT(Clock::now() - started, std::chrono::seconds(2));
  EXPECT_TRUE(capture.containsAt("Warning", "characteristic not configured to wait for"));
}

TEST(SynchronousReader, ANotificationBeforeWaitIsKeptUntilConfiguredAgain) {
  KelvoStack stack(KelvoStack::plainConfig());
  ASSERT_TRUE(stack.connect());
  // Not configured for waiting, the notification characteristic's values go to observers as events...
  stack.emulator->sendNotification({0x07, 0x33});
  stack.radio->waitIdle();
  // ...and once configured, they are queued for the next wait.
  stack.ble->setWait(kReaderService, kNotification);
  stack.emulator->sendNotification({0x07, 0x34});
  stack.radio->waitIdle();
  EXPECT_EQ(stack.ble->wait(kReaderService, kNotification, std::chrono::seconds(2)), (Bytes{0x07, 0x34}));
  stack.emulator->sendNotification({0x07, 0x35});
  stack.radio->waitIdle();
  stack.ble->setWait(kReaderService, kNotification);
  EXPECT_TRUE(stack.ble->wait(kReaderService, kNotification, std::chrono::seconds(1)).empty())
      << "configuring again discards what was queued";
}

TEST(SynchronousReader, DisconnectEndsABlockedWaitBeforeItsTimeout) {
  KelvoStack stack(KelvoStack::plainConfig());
  ASSERT_TRUE(stack.connect());
  auto waiting = std::async(std::launch::async, [&] {
    const auto started = Clock::now();
    Bytes data = stack.ble->wait(kReaderService, kOutput2, std::chrono::seconds(30));
    return std::make_pair(data, Clock::now() - started);
  });
  std::this_thread::sleep_for(std::chrono::milliseconds(100));
  stack.native->disconnect();
  ASSERT_EQ(waiting.wait_for(std::chrono::seconds(10)), std::future_status::ready);
  const auto result = waiting.get();
  EXPECT_TRUE(result.first.empty());
  EXPECT_LT(result.second, std::chrono::seconds(10));
}

TEST(SynchronousReader, ADeviceOfferingOnlyTheVariantServiceIsUsedUnderTheUsualName) {
  KelvoReaderConfig config = KelvoStack::plainConfig();
  config.service = 0x6801;
  KelvoStack stack(config);
  ASSERT_TRUE(stack.connect());
  EXPECT_TRUE(stack.ble->hasService(kReaderService, {kOutput2, kNotification}));
  const trevalon::kelvo::TransmitResult state = stack.packets->transmit(13, {}, true);
  EXPECT_EQ(state.status, 0);
  stack.emulator->sendNotification({0x06, 0x01});
  ASSERT_TRUE(stack.events->waitFor([&] { return !stack.events->notifications.empty(); }))
      << "notifications of the variant service arrive under the usual one";
  EXPECT_EQ(stack.events->read(stack.events->notifications)[0].first, 6);
}

TEST(SynchronousReader, AnIdleLinkIsDisconnectedAndUsePostponesIt) {
  StackOptions options;
  options.idlePeriod = std::chrono::milliseconds(600);
  KelvoStack stack(KelvoStack::plainConfig(), options);
  ASSERT_TRUE(stack.connect());
  LogCapture capture;
  // Keep using the reader for longer than the idle period: it must stay connected.
  const auto busyUntil = Clock::now() + std::chrono::milliseconds(1500);
  while (Clock::now() < busyUntil) {
    EXPECT_TRUE(stack.ble->hasService(kReaderService, {}));
    ASSERT_TRUE(stack.native->isConnected());
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
  }
  ASSERT_TRUE(stack.events->waitFor([&] { return !stack.native->isConnected(); }, std::chrono::seconds(10)))
      << "disconnected once the reader was left alone";
  EXPECT_TRUE(capture.containsAt("Info", "Check for usage"));
  // The next use connects again.
  EXPECT_EQ(stack.packets->transmit(13, {}, true).status, 0);
  EXPECT_TRUE(stack.native->isConnected());
}

TEST(SynchronousReader, UnsolicitedNotificationsComeOnWorkerThreads) {
  KelvoStack stack(KelvoStack::plainConfig());
  ASSERT_TRUE(stack.connect());
  LogCapture capture;
  stack.emulator->sendNotification({0x05, 0x02, 0x01});
  ASSERT_TRUE(stack.events->waitFor([&] { return !stack.events->notifications.empty(); }));
  EXPECT_TRUE(capture.contains(":NOTF_WORK] "));
}

}  // namespace
