// SPDX-License-Identifier: Apache-2.0
#include "trevalon/sim/SimulatedRadio.h"

#include <algorithm>
#include <thread>

#include "EventThread.h"
#include "trevalon/common/Log.h"
#include "trevalon/common/ScopeTrace.h"
#include "trevalon/sim/BLEReaderSim.h"

namespace trevalon::sim {

namespace {

// The owners' share of a radio. Readers and peripherals keep the radio's inner pointer, and may release it
// on one of the radio's own threads, where those threads cannot be joined; the owners release theirs on a
// thread of their own, so that is where the threads are stopped and joined.
struct RadioOwnership {
  std::shared_ptr<SimulatedRadio> radio;
  ~RadioOwnership() { radio->shutdown(); }
};

}  // namespace

std::shared_ptr<SimulatedRadio> SimulatedRadio::create() {
  auto ownership = std::make_shared<RadioOwnership>();
  ownership->radio = std::shared_ptr<SimulatedRadio>(new SimulatedRadio());
  SimulatedRadio* radio = ownership->radio.get();
  return std::shared_ptr<SimulatedRadio>(ownership, radio);
}

SimulatedRadio::SimulatedRadio()
    : notificationThread(std::make_unique<EventThread>("BLE_NOTIF")),
      linkThread(std::make_unique<EventThread>("MSG__PUMP")) {}

SimulatedRadio::~SimulatedRadio() { shutdown(); }

void SimulatedRadio::shutdown() {
  TREVALON_TRACE();
  // Link events first, while notifications still flow: a reader busy with a link event may be waiting
  // for an answer that arrives as a notification.
  linkThread->stop();
  notificationThread->stop();
}

void SimulatedRadio::addPeripheral(const std::shared_ptr<EmulatedPeripheral>& peripheral) {
  TREVALON_TRACE();
  if (!peripheral) return;
  const std::string address = peripheral->address();
  {
    std::lock_guard<std::mutex> guard(lock);
    peripherals[address] = peripheral;
  }
  peripheral->attach(weak_from_this());
  if (peripheral->isLinkUp()) {
    onLinkChanged(address, true);
  }
}

void SimulatedRadio::removePeripheral(const std::string& address) {
  TREVALON_TRACE_ARGS(address);
  std::shared_ptr<EmulatedPeripheral> leaving;
  {
    std::lock_guard<std::mutex> guard(lock);
    auto found = peripherals.find(address);
    if (found == peripherals.end()) return;
    leaving = found->second;
    peripherals.erase(found);
  }
  leaving->attach({});
  onLinkChanged(address, false);
}

std::vector<std::shared_ptr<EmulatedPeripheral>> SimulatedRadio::getPeripherals() const {
  TREVALON_TRACE_QUIET();
  std::lock_guard<std::mutex> guard(lock);
  std::vector<std::shared_ptr<EmulatedPeripheral>> all;
  for (const auto& entry : peripherals) all.push_back(entry.second);
  return all;
}

std::shared_ptr<EmulatedPeripheral> SimulatedRadio::findPeripheral(const std::string& address) const {
  TREVALON_TRACE_QUIET();
  std::lock_guard<std::mutex> guard(lock);
  auto found = peripherals.find(address);
  return found == peripherals.end() ? nullptr : found->second;
}

void SimulatedRadio::subscribe(const std::string& address, const ble::Uuid& service, const ble::Uuid& characteristic,
                               const std::shared_ptr<BLEReaderSim>& reader) {
  TREVALON_TRACE_QUIET();
  std::lock_guard<std::mutex> guard(lock);
  std::vector<std::weak_ptr<BLEReaderSim>>& readers = subscriptions[SubscriptionKey(address, service, characteristic)];
  for (const std::weak_ptr<BLEReaderSim>& known : readers) {
    if (known.lock() == reader) return;
  }
  readers.push_back(reader);
}

void SimulatedRadio::unsubscribe(const std::string& address, const ble::Uuid& service, const ble::Uuid& characteristic,
                                 const BLEReaderSim* reader) {
  TREVALON_TRACE_QUIET();
  std::lock_guard<std::mutex> guard(lock);
  auto found = subscriptions.find(SubscriptionKey(address, service, characteristic));
  if (found == subscriptions.end()) return;
  std::vector<std::weak_ptr<BLEReaderSim>>& readers = found->second;
  for (auto entry = readers.begin(); entry != readers.end();) {
    std::shared_ptr<BLEReaderSim> live = entry->lock();
    if (!live || live.get() == reader) {
      entry = readers.erase(entry);
    } else {
      ++entry;
    }
  }
}

void SimulatedRadio::setLinkModel(const std::optional<LinkModel::Parameters>& parameters) {
  std::lock_guard<std::mutex> guard(lock);
  linkParameters = parameters;
  links.clear();
}

std::shared_ptr<LinkModel> SimulatedRadio::linkModel(const std::string& address) {
  std::lock_guard<std::mutex> guard(lock);
  if (!linkParameters) return nullptr;
  std::shared_ptr<LinkModel>& link = links[address];
  if (!link) link = std::make_shared<LinkModel>(*linkParameters);
  return link;
}

void SimulatedRadio::waitIdle() {
  TREVALON_TRACE_QUIET();
  // A link event may make a reader write, and the write may notify: settle both queues twice over.
  for (int round = 0; round < 2; ++round) {
    linkThread->waitIdle();
    notificationThread->waitIdle();
  }
}

void SimulatedRadio::onNotification(const std::string& address, const ble::Uuid& service,
                                    const ble::Uuid& characteristic, std::vector<uint8_t> data) {
  TREVALON_TRACE_QUIET();
  std::vector<std::weak_ptr<BLEReaderSim>> readers;
  {
    std::lock_guard<std::mutex> guard(lock);
    auto found = subscriptions.find(SubscriptionKey(address, service, characteristic));
    if (found != subscriptions.end()) {
      // Released readers do not unsubscribe; they are forgotten here.
      std::vector<std::weak_ptr<BLEReaderSim>>& known = found->second;
      known.erase(std::remove_if(known.begin(), known.end(),
                                 [](const std::weak_ptr<BLEReaderSim>& entry) { return entry.expired(); }),
                  known.end());
      readers = known;
    }
  }
  if (readers.empty()) return;
  std::optional<LinkModel::Clock::time_point> arrives;
  if (std::shared_ptr<LinkModel> link = linkModel(address)) {
    arrives = link->book(LinkModel::Operation::notification, data.size(), LinkModel::Clock::now());
  }
  notificationThread->post([readers, service, characteristic, data = std::move(data), arrives] {
    if (arrives) std::this_thread::sleep_until(*arrives);
    for (const std::weak_ptr<BLEReaderSim>& entry : readers) {
      if (std::shared_ptr<BLEReaderSim> reader = entry.lock()) {
        reader->deliverNotification(service, characteristic, data);
      }
    }
  });
}

void SimulatedRadio::onLinkChanged(const std::string& address, bool up) {
  TREVALON_TRACE_QUIET();
  std::shared_ptr<ble::BLEConnection> target = connection;
  linkThread->post([target, address, up] { target->setConnected(address, up); });
}

}  // namespace trevalon::sim
