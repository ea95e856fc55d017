// SPDX-License-Identifier: Apache-2.0
#pragma once
// The synchronous reader over a native one: results that the native reader reports to its observers are
// queued per characteristic and popped by the blocking calls. It connects on demand, disconnects after an
// idle period, maps the reader service variant both ways, and hands unsolicited notifications and
// availability changes to observers on its delivery thread: one per reader, started with the first event and
// ended with the translator, fed by a bounded queue (see ReaderEventQueue) so that a flood of notifications
// costs neither threads nor unbounded memory.

#include <atomic>
#include <chrono>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <utility>

#include "trevalon/ble/BLEReader.h"
#include "trevalon/ble/BLEReaderNative.h"
#include "trevalon/ble/ReaderEventQueue.h"
#include "trevalon/common/BlockingQueue.h"
#include "trevalon/common/Translator.h"

namespace trevalon::ble {

class BLEReaderBLEReaderNativeTranslator : public common::Translator<BLEReader, BLEReaderNative> {
 public:
  static constexpr std::chrono::milliseconds kDefaultIdlePeriod = std::chrono::seconds(60);

  explicit BLEReaderBLEReaderNativeTranslator(std::chrono::milliseconds idlePeriod = kDefaultIdlePeriod,
                                              size_t eventCapacity = ReaderEventQueue::kDefaultCapacity);
  ~BLEReaderBLEReaderNativeTranslator() override;

  bool isConnected() override;
  bool isAvailable() override;
  bool isPaired() override;
  bool setPaired(bool paired) override;
  bool unregisterCharacteristic(Uuid service, Uuid characteristic) override;
  std::string getAddress() override;
  std::string getId() override;
  std::string getName() override;
  bool hasService(Uuid service, std::vector<Uuid> characteristics) override;
  std::vector<uint8_t> read(Uuid service, Uuid characteristic, std::chrono::seconds timeout) override;
  bool registerCharacteristic(Uuid service, Uuid characteristic) override;
  void setRead(Uuid service, Uuid characteristic) override;
  void setWait(Uuid service, Uuid characteristic) override;
  void setWrite(Uuid service, Uuid characteristic) override;
  std::vector<uint8_t> wait(Uuid service, Uuid characteristic, std::chrono::milliseconds timeout) override;
  bool write(Uuid service, Uuid characteristic, std::vector<uint8_t> data, std::chrono::seconds timeout) override;

  void onAvailableChanged(bool available) override;
  void onConnectedChanged(bool connected) override;
  void onPairedChanged(bool paired) override;
  void onCharacteristicRead(Uuid service, Uuid characteristic, std::vector<uint8_t> data) override;
  void onCharacteristicWritten(Uuid service, Uuid characteristic, bool success) override;
  void onCharacteristicChanged(Uuid service, Uuid characteristic, std::vector<uint8_t> data) override;

 private:
  using Key = std::pair<Uuid, Uuid>;
  using ByteQueue = common::BlockingQueue<uint8_t>;
  using DataQueue = common::BlockingQueue<std::vector<uint8_t>>;
  struct IdleWatch;
  struct Delivery;

  bool use(const std::shared_ptr<BLEReaderNative>& native);
  Uuid aliasDown(const std::shared_ptr<BLEReaderNative>& native, const Uuid& service);
  static Uuid aliasUp(const Uuid& service);
  template <typename Queue>
  std::shared_ptr<Queue> findQueue(const std::map<Key, std::shared_ptr<Queue>>& map, const Key& key);
  template <typename Queue>
  void configure(std::map<Key, std::shared_ptr<Queue>>& map, const Key& key);
  void startIdleWatch();
  static void watchIdle(const std::weak_ptr<common::Shareable>& self, BLEReaderBLEReaderNativeTranslator* reader,
                        std::shared_ptr<IdleWatch> watch);
  // Queues an event and starts the delivery thread if it does not run yet.
  void enqueue(const std::function<void(ReaderEventQueue&)>& push);
  static void deliverEvents(const std::weak_ptr<common::Shareable>& self, BLEReaderBLEReaderNativeTranslator* reader,
                            std::shared_ptr<Delivery> delivery);
  void deliver(const ReaderEventQueue::Event& event);

  std::mutex queuesLock;
  std::map<Key, std::shared_ptr<ByteQueue>> writeMap;
  std::map<Key, std::shared_ptr<DataQueue>> readMap;
  std::map<Key, std::shared_ptr<DataQueue>> waitMap;
  std::atomic<int64_t> lastUsed{0};
  const std::chrono::milliseconds idlePeriod;
  std::shared_ptr<IdleWatch> idleWatch;
  // Shared with the delivery thread, which may outlive this translator when it let go of the last owner.
  std::shared_ptr<Delivery> delivery;
};

}  // namespace trevalon::ble
