// SPDX-License-Identifier: Apache-2.0
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
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

TEST(SynchronousReader, UnsolicitedNotificationsComeOnTheDeliveryThread) {
  KelvoStack stack(KelvoStack::plainConfig());
  ASSERT_TRUE(stack.connect());
  LogCapture capture;
  stack.emulator->sendNotification({0x05, 0x02, 0x01});
  ASSERT_TRUE(stack.events->waitFor([&] { return !stack.events->notifications.empty(); }));
  EXPECT_TRUE(capture.contains(":NOTF_WORK] "));
}

size_t threadsOfThisProcess() {
  size_t count = 0;
  for (const auto& entry : std::filesystem::directory_iterator("/proc/self/task")) {
    (void)entry;
    ++count;
  }
  return count;
}

// Holds the delivery thread in its first notification until released, and records what it is given after.
class GatedObserver : public trevalon::ble::BLEReaderObserver {
 public:
  void onConnectedChanged(bool) override {}
  void onAvailableChanged(bool) override {}
  void onPairedChanged(bool) override {}
  void onEvent(uint32_t) override {}
  void onNotified(trevalon::ble::Uuid, trevalon::ble::Uuid, std::vector<uint8_t> data) override {
    std::unique_lock<std::mutex> guard(lock);
    entered = true;
    changed.notify_all();
    changed.wait(guard, [this] { return open; });
    seen.push_back(std::move(data));
    changed.notify_all();
  }
  void release() {
    std::lock_guard<std::mutex> guard(lock);
    open = true;
    changed.notify_all();
  }
  bool waitFor(const std::function<bool()>& condition) {
    std::unique_lock<std::mutex> guard(lock);
    return changed.wait_for(guard, std::chrono::seconds(20), condition);
  }

  std::mutex lock;
  std::condition_variable changed;
  bool entered = false;
  bool open = false;
  std::vector<Bytes> seen;
};

TEST(SynchronousReader, AFloodOfNotificationsIsMergedOnOneThreadAndLosesNoCardRemoval) {
  KelvoStack stack(KelvoStack::plainConfig());
  ASSERT_TRUE(stack.connect());
  auto gate = std::make_shared<GatedObserver>();
  stack.ble->addObserver(gate);
  const size_t threadsBefore = threadsOfThisProcess();

  stack.emulator->sendNotification({0x07, 100});
  ASSERT_TRUE(gate->waitFor([&] { return gate->entered; })) << "the delivery thread is held in the first one";
  size_t mostThreads = threadsBefore;
  for (int i = 0; i < 20000; ++i) {
    stack.emulator->sendNotification({0x07, static_cast<uint8_t>(i % 100)});
    // A card taken out and put back while the layers above are busy.
    if (i == 10000) stack.emulator->sendNotification({0x01, 0x01});
    if (i == 10001) stack.emulator->sendNotification({0x01, 0x06});
    if (i % 1000 == 0) mostThreads = std::max(mostThreads, threadsOfThisProcess());
  }
  stack.emulator->sendNotification({0x07, 42});
  stack.radio->waitIdle();
  mostThreads = std::max(mostThreads, threadsOfThisProcess());
  gate->release();

  ASSERT_TRUE(gate->waitFor([&] {
    return !gate->seen.empty() && gate->seen.back() == Bytes{0x07, 42};
  })) << "the latest battery level arrives";
  EXPECT_LE(mostThreads, threadsBefore + 1) << "no thread per notification";
  std::lock_guard<std::mutex> guard(gate->lock);
  EXPECT_LT(gate->seen.size(), 200u) << "waiting battery levels were merged";
  const auto removal = std::find(gate->seen.begin(), gate->seen.end(), Bytes{0x01, 0x01});
  ASSERT_NE(removal, gate->seen.end()) << "the card removal is delivered";
  EXPECT_NE(std::find(removal, gate->seen.end(), Bytes{0x01, 0x06}), gate->seen.end())
      << "and the card's return after it";
}

TEST(SynchronousReader, TheDeliveryThreadEndsWithTheReader) {
  // A sanitizer runtime starts a helper thread of its own with the first thread of the process: let it.
  std::thread([] {}).join();
  const size_t threadsBefore = threadsOfThisProcess();
  {
    KelvoStack stack(KelvoStack::plainConfig());
    ASSERT_TRUE(stack.connect());
    stack.emulator->sendNotification({0x07, 12});
    ASSERT_TRUE(stack.events->waitFor([&] { return !stack.events->notifications.empty(); }));
  }
  // The stack's emulator and radio threads end with it as well; the idle watch wakes and ends at once.
  const auto deadline = Clock::now() + std::chrono::seconds(5);
  while (threadsOfThisProcess() > threadsBefore && Clock::now() < deadline) {
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  EXPECT_EQ(threadsOfThisProcess(), threadsBefore);
}

}  // namespace
