// SPDX-License-Identifier: Apache-2.0
#include "trevalon/ble/BLEReaderBLEReaderNativeTranslator.h"

#include <condition_variable>
#include <thread>

#include "trevalon/ble/ReaderServiceUuids.h"
#include "trevalon/common/Log.h"
#include "trevalon/common/NamedLock.h"
#include "trevalon/common/ScopeTrace.h"

namespace trevalon::ble {
namespace {

constexpr uint8_t kCardStatusNotification = 1;

int64_t monotonicNow() {
  return std::chrono::duration_cast<std::chrono::nanoseconds>(std::chrono::steady_clock::now().time_since_epoch())
      .count();
}

// A card status of the reader service must reach the layers above in every state it passed through: a card
// that was taken out and put back in must be seen gone, or a session locked to the card would stay open.
bool isCardStatus(const Uuid& service, const Uuid& /*characteristic*/, uint8_t id) {
  return service == kReaderService && id == kCardStatusNotification;
}

}  // namespace

// Shared with the idle-watch thread, so that the translator's end wakes it at once and it never touches a
// translator that is gone.
struct BLEReaderBLEReaderNativeTranslator::IdleWatch {
  std::mutex lock;
  std::condition_variable wake;
  bool running = false;
  bool ended = false;
};

struct BLEReaderBLEReaderNativeTranslator::Delivery {
  explicit Delivery(size_t capacity) : events(capacity, isCardStatus) {}

  std::mutex lock;
  std::condition_variable wake;
  ReaderEventQueue events;
  std::thread thread;
  bool ended = false;
};

BLEReaderBLEReaderNativeTranslator::BLEReaderBLEReaderNativeTranslator(std::chrono::milliseconds idlePeriod,
                                                                       size_t eventCapacity)
    : idlePeriod(idlePeriod),
      idleWatch(std::make_shared<IdleWatch>()),
      delivery(std::make_shared<Delivery>(eventCapacity)) {}

BLEReaderBLEReaderNativeTranslator::~BLEReaderBLEReaderNativeTranslator() {
  {
    std::lock_guard<std::mutex> guard(idleWatch->lock);
    idleWatch->ended = true;
  }
  idleWatch->wake.notify_all();
  std::thread deliverer;
  {
    std::lock_guard<std::mutex> guard(delivery->lock);
    delivery->ended = true;
    deliverer = std::move(delivery->thread);
  }
  delivery->wake.notify_all();
  if (!deliverer.joinable()) return;
  if (deliverer.get_id() == std::this_thread::get_id()) {
    // The delivery thread let go of the last owner: it ends on its own once this returns.
    deliverer.detach();
  } else {
    // Holding no owner, the thread delivers nothing more: it only has to notice the end.
    deliverer.join();
  }
}

bool BLEReaderBLEReaderNativeTranslator::isConnected() {
  TREVALON_TRACE();
  std::shared_ptr<BLEReaderNative> native = getMaster();
  return native && native->isConnected();
}

bool BLEReaderBLEReaderNativeTranslator::isAvailable() {
  TREVALON_TRACE();
  std::shared_ptr<BLEReaderNative> native = getMaster();
  return native && native->isAvailable();
}

bool BLEReaderBLEReaderNativeTranslator::isPaired() {
  TREVALON_TRACE();
  std::shared_ptr<BLEReaderNative> native = getMaster();
  return native && native->isPaired();
}

bool BLEReaderBLEReaderNativeTranslator::setPaired(bool paired) {
  TREVALON_TRACE();
  std::shared_ptr<BLEReaderNative> native = getMaster();
  return native && native->setPaired(paired);
}

std::string BLEReaderBLEReaderNativeTranslator::getAddress() {
  TREVALON_TRACE();
  std::shared_ptr<BLEReaderNative> native = getMaster();
  return native ? native->getAddress() : std::string();
}

std::string BLEReaderBLEReaderNativeTranslator::getId() {
  TREVALON_TRACE();
  std::shared_ptr<BLEReaderNative> native = getMaster();
  return native ? native->getId() : std::string();
}

std::string BLEReaderBLEReaderNativeTranslator::getName() {
  TREVALON_TRACE();
  std::shared_ptr<BLEReaderNative> native = getMaster();
  return native ? native->getName() : std::string();
}

bool BLEReaderBLEReaderNativeTranslator::use(const std::shared_ptr<BLEReaderNative>& native) {
  lastUsed = monotonicNow();
  if (!native) {
    TREVALON_LOG(error, "no native reader");
    return false;
  }
  return native->connect();
}

Uuid BLEReaderBLEReaderNativeTranslator::aliasDown(const std::shared_ptr<BLEReaderNative>& native,
                                                   const Uuid& service) {
  if (service == kReaderService && native->hasService(kReaderServiceVariant, {})) {
    return kReaderServiceVariant;
  }
  return service;
}

Uuid BLEReaderBLEReaderNativeTranslator::aliasUp(const Uuid& service) {
  return service == kReaderServiceVariant ? kReaderService : service;
}

bool BLEReaderBLEReaderNativeTranslator::unregisterCharacteristic(Uuid service, Uuid characteristic) {
  TREVALON_TRACE();
  std::shared_ptr<BLEReaderNative> native = getMaster();
  if (!use(native)) return false;
  return native->unregisterCharacteristic(aliasDown(native, service), characteristic);
}

bool BLEReaderBLEReaderNativeTranslator::hasService(Uuid service, std::vector<Uuid> characteristics) {
  TREVALON_TRACE();
  std::shared_ptr<BLEReaderNative> native = getMaster();
  if (!use(native)) return false;
  return native->hasService(aliasDown(native, service), std::move(characteristics));
}

bool BLEReaderBLEReaderNativeTranslator::registerCharacteristic(Uuid service, Uuid characteristic) {
  TREVALON_TRACE();
  std::shared_ptr<BLEReaderNative> native = getMaster();
  if (!use(native)) return false;
  return native->registerCharacteristic(aliasDown(native, service), characteristic);
}

template <typename Queue>
std::shared_ptr<Queue> BLEReaderBLEReaderNativeTranslator::findQueue(const std::map<Key, std::shared_ptr<Queue>>& map,
                                                                     const Key& key) {
  std::lock_guard<std::mutex> guard(queuesLock);
  auto entry = map.find(key);
  return entry == map.end() ? nullptr : entry->second;
}

template <typename Queue>
void BLEReaderBLEReaderNativeTranslator::configure(std::map<Key, std::shared_ptr<Queue>>& map, const Key& key) {
  std::lock_guard<std::mutex> guard(queuesLock);
  std::shared_ptr<Queue>& queue = map[key];
  if (!queue) {
    queue = std::make_shared<Queue>();
  }
  queue->reset();
}

void BLEReaderBLEReaderNativeTranslator::setRead(Uuid service, Uuid characteristic) {
  TREVALON_TRACE_QUIET();
  configure(readMap, Key(service, characteristic));
}

void BLEReaderBLEReaderNativeTranslator::setWait(Uuid service, Uuid characteristic) {
  TREVALON_TRACE_QUIET();
  configure(waitMap, Key(service, characteristic));
}

void BLEReaderBLEReaderNativeTranslator::setWrite(Uuid service, Uuid characteristic) {
  TREVALON_TRACE_QUIET();
  configure(writeMap, Key(service, characteristic));
}

std::vector<uint8_t> BLEReaderBLEReaderNativeTranslator::read(Uuid service, Uuid characteristic,
                                                              std::chrono::seconds timeout) {
  TREVALON_TRACE();
  std::shared_ptr<BLEReaderNative> native = getMaster();
  if (!use(native)) return {};
  native->readCharacteristic(aliasDown(native, service), characteristic);
  std::shared_ptr<DataQueue> queue = findQueue(readMap, Key(service, characteristic));
  if (!queue) {
    TREVALON_LOG(warning, "characteristic callback failed to read");
    return {};
  }
  std::vector<uint8_t> data;
  if (!queue->pop(data, timeout)) {
    TREVALON_LOG(warning, "timeout while waiting for read-callback");
    return {};
  }
  return data;
}

bool BLEReaderBLEReaderNativeTranslator::write(Uuid service, Uuid characteristic, std::vector<uint8_t> data,
                                               std::chrono::seconds timeout) {
  TREVALON_TRACE();
  std::shared_ptr<BLEReaderNative> native = getMaster();
  if (!use(native)) return false;
  native->writeCharacteristic(aliasDown(native, service), characteristic, std::move(data));
  std::shared_ptr<ByteQueue> queue = findQueue(writeMap, Key(service, characteristic));
  if (!queue) {
    TREVALON_LOG(warning, "characteristic callback failed to write");
    return false;
  }
  uint8_t result = 0;
  if (!queue->pop(result, timeout)) {
    TREVALON_LOG(warning, "timeout while waiting for write-callback");
    return false;
  }
  return result != 0;
}

std::vector<uint8_t> BLEReaderBLEReaderNativeTranslator::wait(Uuid service, Uuid characteristic,
                                                              std::chrono::milliseconds timeout) {
  TREVALON_TRACE();
  std::shared_ptr<BLEReaderNative> native = getMaster();
  if (!use(native)) return {};
  std::shared_ptr<DataQueue> queue = findQueue(waitMap, Key(service, characteristic));
  if (!queue) {
    TREVALON_LOG(warning, "characteristic not configured to wait for");
    return {};
  }
  std::vector<uint8_t> data;
  if (!queue->pop(data, timeout)) {
    TREVALON_LOG(warning, "timeout while waiting for notify-callback");
    return {};
  }
  return data;
}

void BLEReaderBLEReaderNativeTranslator::onCharacteristicRead(Uuid service, Uuid characteristic,
                                                              std::vector<uint8_t> data) {
  TREVALON_TRACE();
  std::shared_ptr<DataQueue> queue = findQueue(readMap, Key(aliasUp(service), characteristic));
  if (!queue) {
    TREVALON_LOG(warning, "characteristic callback failed to read");
    return;
  }
  queue->push(std::move(data));
}

void BLEReaderBLEReaderNativeTranslator::onCharacteristicWritten(Uuid service, Uuid characteristic, bool success) {
  TREVALON_TRACE();
  std::shared_ptr<ByteQueue> queue = findQueue(writeMap, Key(aliasUp(service), characteristic));
  if (!queue) {
    TREVALON_LOG(warning, "characteristic callback failed to write");
    return;
  }
  queue->push(static_cast<uint8_t>(success ? 1 : 0));
}

void BLEReaderBLEReaderNativeTranslator::onCharacteristicChanged(Uuid service, Uuid characteristic,
                                                                 std::vector<uint8_t> data) {
  TREVALON_TRACE();
  const Uuid upper = aliasUp(service);
  if (std::shared_ptr<DataQueue> queue = findQueue(waitMap, Key(upper, characteristic))) {
    queue->push(std::move(data));
    return;
  }
  enqueue([&](ReaderEventQueue& events) { events.pushNotification(upper, characteristic, std::move(data)); });
}

void BLEReaderBLEReaderNativeTranslator::onConnectedChanged(bool connected) {
  TREVALON_TRACE_ARGS(connected ? "true" : "false");
  if (!connected) {
    std::lock_guard<std::mutex> guard(queuesLock);
    // Whoever waits for a notification must not wait out its time-out on a link that is gone.
    for (auto& entry : waitMap) {
      entry.second->stop();
    }
  }
  notifyObservers(&BLEReaderObserver::onConnectedChanged, connected);
  if (connected) {
    startIdleWatch();
  }
}

void BLEReaderBLEReaderNativeTranslator::onAvailableChanged(bool available) {
  TREVALON_TRACE_ARGS(available ? "true" : "false");
  enqueue([available](ReaderEventQueue& events) { events.pushAvailability(available); });
}

void BLEReaderBLEReaderNativeTranslator::enqueue(const std::function<void(ReaderEventQueue&)>& push) {
  {
    std::lock_guard<std::mutex> guard(delivery->lock);
    if (delivery->ended) return;
    push(delivery->events);
    if (!delivery->thread.joinable()) {
      delivery->thread =
          std::thread(&BLEReaderBLEReaderNativeTranslator::deliverEvents, weak_from_this(), this, delivery);
    }
  }
  delivery->wake.notify_one();
}

void BLEReaderBLEReaderNativeTranslator::deliverEvents(const std::weak_ptr<common::Shareable>& self,
                                                       BLEReaderBLEReaderNativeTranslator* reader,
                                                       std::shared_ptr<Delivery> delivery) {
  common::setThreadName("NOTF_WORK");
  std::unique_lock<std::mutex> lock(delivery->lock);
  for (;;) {
    delivery->wake.wait(lock, [&delivery] { return delivery->ended || delivery->events.size() > 0; });
    if (delivery->ended) return;
    ReaderEventQueue::Event event = std::move(*delivery->events.pop());
    lock.unlock();
    {
      // Owned only while delivering: the translator's end is not held up by a thread waiting for events.
      std::shared_ptr<common::Shareable> alive = self.lock();
      if (alive) reader->deliver(event);
    }
    lock.lock();
  }
}

void BLEReaderBLEReaderNativeTranslator::deliver(const ReaderEventQueue::Event& event) {
  if (event.type == ReaderEventQueue::Event::Type::notification) {
    notifyObservers(&BLEReaderObserver::onNotified, event.service, event.characteristic, event.data);
    return;
  }
  std::shared_ptr<BLEReaderNative> native = getMaster();
  const std::string address = native ? native->getAddress() : std::string();
  // A device's availability is told under its named lock, which the in-process device requests take too: a
  // request never runs halfway through the stack's set-up or tear-down, and whoever takes the lock after a
  // change was told finds it told whole.
  TREVALON_NAMED_LOCK(deviceLock, address);
  notifyObservers(&BLEReaderObserver::onAvailableChanged, event.available);
}

void BLEReaderBLEReaderNativeTranslator::onPairedChanged(bool paired) {
  TREVALON_TRACE();
  notifyObservers(&BLEReaderObserver::onPairedChanged, paired);
}

void BLEReaderBLEReaderNativeTranslator::startIdleWatch() {
  {
    std::lock_guard<std::mutex> guard(idleWatch->lock);
    // One watch per reader is enough: it follows lastUsed, which every use moves forward.
    if (idleWatch->running || idleWatch->ended) {
      return;
    }
    idleWatch->running = true;
  }
  lastUsed = monotonicNow();
  std::thread(&BLEReaderBLEReaderNativeTranslator::watchIdle, weak_from_this(), this, idleWatch).detach();
}

void BLEReaderBLEReaderNativeTranslator::watchIdle(const std::weak_ptr<common::Shareable>& self,
                                                   BLEReaderBLEReaderNativeTranslator* reader,
                                                   std::shared_ptr<IdleWatch> watch) {
  common::setThreadName("DISC_TiMR");
  for (;;) {
    std::shared_ptr<common::Shareable> alive = self.lock();
    if (!alive) {
      return;
    }
    const auto deadline =
        std::chrono::steady_clock::time_point(std::chrono::nanoseconds(reader->lastUsed.load())) + reader->idlePeriod;
    if (std::chrono::steady_clock::now() >= deadline) {
      std::shared_ptr<BLEReaderNative> native = reader->getMaster();
      {
        std::lock_guard<std::mutex> guard(watch->lock);
        watch->running = false;
      }
      TREVALON_LOG(info, "Disconnect after %lld ms without use", static_cast<long long>(reader->idlePeriod.count()));
      if (native) {
        native->disconnect();
      }
      return;
    }
    alive.reset();
    TREVALON_LOG(info, "Check for usage");
    std::unique_lock<std::mutex> lock(watch->lock);
    if (watch->wake.wait_until(lock, deadline, [&watch] { return watch->ended; })) {
      return;
    }
  }
}

}  // namespace trevalon::ble
