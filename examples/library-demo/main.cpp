// SPDX-License-Identifier: Apache-2.0
// A small tour of the library spine: a polling provider feeding a translator chain, a watchdog timer and a
// worker, all writing the library log to standard output with their nesting and thread names.

#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <iostream>
#include <mutex>
#include <thread>

#include "trevalon/common/Log.h"
#include "trevalon/common/NamedLock.h"
#include "trevalon/common/ProviderRunnable.h"
#include "trevalon/common/ProviderTranslatorFunctional.h"
#include "trevalon/common/ScopeTrace.h"
#include "trevalon/common/Timer.h"
#include "trevalon/common/Worker.h"

namespace demo {

using namespace trevalon::common;

struct Reader {
  std::string address;
};
using ReaderPtr = std::shared_ptr<Reader>;

// Pretends to enumerate the system: two readers, reported on every poll.
class PretendSystem : public ProviderRunnable<std::string> {
 public:
  ~PretendSystem() override { stop(); }

 protected:
  void update() override {
    TREVALON_TRACE();
    static bool named = false;
    if (!named) {
      setThreadName("PROV_POLL");
      named = true;
    }
    onFound("001a7dda7113");
    onFound("001a7dda7114");
  }
};

class Printer : public trevalon::ProviderObserver<ReaderPtr> {
 public:
  void onFound(const ReaderPtr& reader) override {
    TREVALON_TRACE_ARGS(reader->address);
    std::lock_guard<std::mutex> guard(lock);
    ++found;
    changed.notify_all();
  }
  void onLost(const ReaderPtr& reader) override { TREVALON_TRACE_ARGS(reader->address); }
  bool waitForFound(int n) {
    std::unique_lock<std::mutex> guard(lock);
    return changed.wait_for(guard, std::chrono::seconds(5), [&] { return found >= n; });
  }

 private:
  std::mutex lock;
  std::condition_variable changed;
  int found = 0;
};

ReaderPtr buildReader(const std::string& address) {
  TREVALON_TRACE_ARGS(address);
  TREVALON_NAMED_LOCK(guard, address);
  TREVALON_LOG(info, "building a reader stack for %s", address.c_str());
  return std::make_shared<Reader>(Reader{address});
}

int run() {
  addLogSink(
      0xFF, [](const std::string& line) { std::cout << line; }, "");
  setThreadName("MAIN");
  TREVALON_TRACE();

  auto system = std::make_shared<PretendSystem>();
  auto readers = std::make_shared<ProviderTranslatorFunctional<std::string, ReaderPtr>>(&buildReader);
  auto printer = std::make_shared<Printer>();
  readers->setMaster(system);
  readers->addObserver(printer);

  system->start(50);
  const bool bothFound = printer->waitForFound(2);
  system->stop();
  TREVALON_LOG(info, "%zu readers present", readers->getProvided().size());
  system->onLost("001a7dda7113");

  std::mutex lock;
  std::condition_variable fired;
  bool done = false;
  Timer watchdog(
      [&] {
        TREVALON_TRACE();
        std::lock_guard<std::mutex> guard(lock);
        done = true;
        fired.notify_all();
      },
      100);
  Worker::run([&watchdog] {
    setThreadName("DISC_TiMR");
    TREVALON_TRACE();
    for (int i = 0; i < 3; ++i) {
      watchdog.start();
      std::this_thread::sleep_for(std::chrono::milliseconds(30));
    }
  });
  std::unique_lock<std::mutex> guard(lock);
  const bool timerFired = fired.wait_for(guard, std::chrono::seconds(5), [&] { return done; });
  TREVALON_LOG(info, "watchdog %s", timerFired ? "fired once the feeding stopped" : "did not fire");
  return bothFound && timerFired ? 0 : 1;
}

}  // namespace demo

int main() { return demo::run(); }
