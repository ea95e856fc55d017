// SPDX-License-Identifier: Apache-2.0
#include <gtest/gtest.h>

#include <atomic>
#include <condition_variable>
#include <mutex>
#include <thread>

#include "LogCapture.h"
#include "trevalon/common/ProviderRunnable.h"
#include "trevalon/common/ProviderTranslatorFunctional.h"

using trevalon::Provider;
using trevalon::ProviderObserver;
using trevalon::common::ProviderRunnable;
using trevalon::common::ProviderTranslatorFunctional;
using namespace std::chrono_literals;

namespace {

struct Thing {
  std::string path;
};
using ThingPtr = std::shared_ptr<Thing>;

// Reports the paths it is told to see on every poll, the way a system enumeration does.
class FakeSystem : public ProviderRunnable<std::string> {
 public:
  ~FakeSystem() override { stop(); }
  void see(const std::string& path) {
    std::lock_guard<std::mutex> guard(lock);
    present.push_back(path);
  }
  int polls() {
    std::lock_guard<std::mutex> guard(lock);
    return pollCount;
  }
  bool waitForPolls(int n, std::chrono::milliseconds limit) {
    std::unique_lock<std::mutex> guard(lock);
    return polled.wait_for(guard, limit, [&] { return pollCount >= n; });
  }
  using ProviderRunnable<std::string>::onLost;

 protected:
  void update() override {
    std::vector<std::string> now;
    {
      std::lock_guard<std::mutex> guard(lock);
      now = present;
    }
    for (const std::string& path : now) onFound(path);
    std::lock_guard<std::mutex> guard(lock);
    ++pollCount;
    polled.notify_all();
  }

 private:
  std::mutex lock;
  std::condition_variable polled;
  std::vector<std::string> present;
  int pollCount = 0;
};

template <typename T>
class Collector : public ProviderObserver<T> {
 public:
  void onFound(const T& item) override {
    std::lock_guard<std::mutex> guard(lock);
    found.push_back(item);
  }
  void onLost(const T& item) override {
    std::lock_guard<std::mutex> guard(lock);
    lost.push_back(item);
  }
  std::vector<T> foundItems() {
    std::lock_guard<std::mutex> guard(lock);
    return found;
  }
  std::vector<T> lostItems() {
    std::lock_guard<std::mutex> guard(lock);
    return lost;
  }

 private:
  std::mutex lock;
  std::vector<T> found;
  std::vector<T> lost;
};

// system paths -> things -> labels: the shape of the discovery chain.
struct Chain {
  std::shared_ptr<FakeSystem> system = std::make_shared<FakeSystem>();
  std::atomic<int> translations{0};
  std::shared_ptr<ProviderTranslatorFunctional<std::string, ThingPtr>> things;
  std::shared_ptr<ProviderTranslatorFunctional<ThingPtr, std::string>> labels;
  std::shared_ptr<Collector<std::string>> top = std::make_shared<Collector<std::string>>();

  Chain() {
    things = std::make_shared<ProviderTranslatorFunctional<std::string, ThingPtr>>([this](const std::string& path) {
      ++translations;
      return path == "unbuildable" ? ThingPtr() : std::make_shared<Thing>(Thing{path});
    });
    labels = std::make_shared<ProviderTranslatorFunctional<ThingPtr, std::string>>(
        [](const ThingPtr& thing) { return "device " + thing->path; });
    things->setMaster(system);
    labels->setMaster(things);
    labels->addObserver(top);
  }
};

TEST(Provider, RepeatedReportsGiveOneFoundAndLostCarriesTheSameObject) {
  Chain chain;
  auto thingWatcher = std::make_shared<Collector<ThingPtr>>();
  chain.things->addObserver(thingWatcher);
  chain.system->see("/dev/a");
  chain.system->start(5);
  ASSERT_TRUE(chain.system->waitForPolls(5, 10s));
  EXPECT_EQ(chain.top->foundItems(), std::vector<std::string>{"device /dev/a"});
  EXPECT_EQ(chain.translations.load(), 1);
  ASSERT_EQ(chain.things->getProvided().size(), 1u);
  const ThingPtr provided = chain.things->getProvided().front();

  chain.system->stop();
  chain.system->onLost("/dev/a");
  ASSERT_EQ(thingWatcher->lostItems().size(), 1u);
  EXPECT_EQ(thingWatcher->lostItems()[0], provided) << "onLost must carry the object made at onFound";
  EXPECT_EQ(chain.top->lostItems(), std::vector<std::string>{"device /dev/a"});
  EXPECT_TRUE(chain.things->getProvided().empty());

  chain.system->onLost("/dev/a");
  EXPECT_EQ(chain.top->lostItems().size(), 1u) << "a second loss of an unknown item is ignored";

  const int polled = chain.system->polls();
  chain.system->start(5);
  ASSERT_TRUE(chain.system->waitForPolls(polled + 1, 10s));
  EXPECT_EQ(chain.top->foundItems().size(), 2u) << "after a loss the item is new again";
  EXPECT_NE(chain.things->getProvided().front(), provided);
}

TEST(Provider, AnItemThatCannotBeTranslatedIsNeitherPassedOnNorLost) {
  Chain chain;
  chain.system->see("unbuildable");
  chain.system->start(5);
  ASSERT_TRUE(chain.system->waitForPolls(3, 10s));
  chain.system->stop();
  EXPECT_TRUE(chain.top->foundItems().empty());
  EXPECT_TRUE(chain.things->getProvided().empty());
  EXPECT_EQ(chain.translations.load(), 1) << "the runnable passes each item up once";

  chain.system->onLost("unbuildable");
  EXPECT_TRUE(chain.top->lostItems().empty());
  chain.system->onFound("unbuildable");
  EXPECT_EQ(chain.translations.load(), 2) << "reported again after its loss, it is tried again";
}

TEST(Provider, StopWakesAPollerThatSleepsALongPeriod) {
  auto system = std::make_shared<FakeSystem>();
  system->start(20000);
  ASSERT_TRUE(system->waitForPolls(1, 10s));
  const auto started = std::chrono::steady_clock::now();
  system->stop();
  EXPECT_LT(std::chrono::steady_clock::now() - started, 5s);
  EXPECT_FALSE(system->isRunning());
  const int polled = system->polls();
  std::this_thread::sleep_for(50ms);
  EXPECT_EQ(system->polls(), polled) << "no poll after stop() returned";
}

TEST(Provider, StartRestartsAndReleasingTheOwnerEndsPolling) {
  auto system = std::make_shared<FakeSystem>();
  system->start(20000);
  system->start(5);
  ASSERT_TRUE(system->waitForPolls(3, 10s)) << "the restart uses the new period";
  std::weak_ptr<FakeSystem> weak = system;
  system.reset();
  // The poller may be inside update() right now, holding the object until that poll ends.
  const auto deadline = std::chrono::steady_clock::now() + 10s;
  while (!weak.expired() && std::chrono::steady_clock::now() < deadline) std::this_thread::sleep_for(1ms);
  EXPECT_TRUE(weak.expired()) << "the polling thread must not keep its provider alive";
}

}  // namespace
