// SPDX-License-Identifier: Apache-2.0
#include "trevalon/sim/BLEReaderSim.h"

#include <cstdlib>
#include <thread>

#include "trevalon/common/Log.h"
#include "trevalon/common/ScopeTrace.h"
#include "trevalon/sim/SimulatedRadio.h"

namespace trevalon::sim {
namespace {

// Result codes in the platform's form, so that log lines read like those of a real backend.
constexpr unsigned kErrorNotConnected = 0x8007048F;
constexpr unsigned kErrorInsufficientBuffer = 0x8007007A;
constexpr unsigned kErrorWriteRefused = 0x80650003;

}  // namespace

std::shared_ptr<BLEReaderSim> BLEReaderSim::create(const std::shared_ptr<SimulatedRadio>& radio, std::string id,
                                                   std::string address, std::string name) {
  TREVALON_TRACE_ARGS(address);
  if (!radio) {
    TREVALON_LOG(error, "no radio for %s", address.c_str());
    return nullptr;
  }
  auto reader = std::make_shared<BLEReaderSim>(radio, std::move(id), std::move(address), std::move(name));
  radio->getConnection()->addObserver(reader);
  return reader;
}

// The radio's inner pointer, not the owners' one: a reader must never be the one that stops the radio.
BLEReaderSim::BLEReaderSim(const std::shared_ptr<SimulatedRadio>& radio, std::string id, std::string address,
                           std::string name)
    : radio(radio ? radio->shared_from_this() : nullptr),
      id(std::move(id)),
      address(std::move(address)),
      name(std::move(name)) {}

// The radio forgets expired subscribers by itself; a destructor that may run on a radio thread leaves it alone.
BLEReaderSim::~BLEReaderSim() = default;

bool BLEReaderSim::isAvailable() {
  TREVALON_TRACE_QUIET();
  std::lock_guard<std::mutex> guard(lock);
  return available.value_or(false);
}

bool BLEReaderSim::isConnected() {
  TREVALON_TRACE_QUIET();
  std::lock_guard<std::mutex> guard(lock);
  return connection.has_value();
}

bool BLEReaderSim::isPaired() {
  TREVALON_TRACE_QUIET();
  return true;
}

bool BLEReaderSim::setPaired(bool paired) {
  TREVALON_TRACE_ARGS(paired ? "true" : "false");
  if (paired) {
    TREVALON_LOG(info, "Pairing is not supported at the moment");
    return false;
  }
  char* end = nullptr;
  std::strtoull(address.c_str(), &end, 16);
  std::shared_ptr<SimulatedRadio> air = liveRadio();
  if (address.empty() || *end != '\0' || !air || !air->findPeripheral(address)) {
    TREVALON_LOG(error, "RemoveDevice failed with 0x%X", kErrorNotConnected);
    return false;
  }
  return true;
}

bool BLEReaderSim::connect() {
  TREVALON_TRACE();
  {
    std::lock_guard<std::mutex> guard(lock);
    if (connection) return true;
  }
  std::shared_ptr<SimulatedRadio> air = liveRadio();
  std::shared_ptr<EmulatedPeripheral> peer = air ? air->findPeripheral(address) : nullptr;
  if (!peer) {
    TREVALON_LOG(error, "device %s not found on the radio", address.c_str());
    return false;
  }
  std::map<ble::Uuid, GattService> services;
  for (const GattService& service : peer->services()) services[service.uuid] = service;
  {
    std::lock_guard<std::mutex> guard(lock);
    if (connection) return true;
    connection = std::move(services);
  }
  notifyObservers(&ble::BLEReaderNativeObserver::onConnectedChanged, true);
  return true;
}

void BLEReaderSim::disconnect() {
  TREVALON_TRACE();
  if (std::shared_ptr<SimulatedRadio> air = liveRadio()) {
    dropSubscriptions(*air);
  } else {
    std::lock_guard<std::mutex> guard(lock);
    subscribed.clear();
  }
  {
    std::lock_guard<std::mutex> guard(lock);
    if (!connection) return;
    connection.reset();
  }
  notifyObservers(&ble::BLEReaderNativeObserver::onConnectedChanged, false);
}

std::string BLEReaderSim::getAddress() {
  TREVALON_TRACE_QUIET();
  return address;
}

std::string BLEReaderSim::getId() {
  TREVALON_TRACE_QUIET();
  return id;
}

std::string BLEReaderSim::getName() {
  TREVALON_TRACE_QUIET();
  return name;
}

bool BLEReaderSim::hasService(ble::Uuid service, std::vector<ble::Uuid> characteristics) {
  TREVALON_TRACE_ARGS(service.toString());
  std::lock_guard<std::mutex> guard(lock);
  if (!connection) return false;
  auto found = connection->find(service);
  if (found == connection->end()) return false;
  for (const ble::Uuid& characteristic : characteristics) {
    if (!found->second.find(characteristic)) {
      TREVALON_LOG(info, "Characteristic not found");
      return false;
    }
  }
  return true;
}

std::optional<GattCharacteristic> BLEReaderSim::findCharacteristic(const ble::Uuid& service,
                                                                   const ble::Uuid& characteristic) {
  TREVALON_TRACE_QUIET();
  std::lock_guard<std::mutex> guard(lock);
  if (!connection) return std::nullopt;
  auto found = connection->find(service);
  if (found == connection->end()) {
    TREVALON_LOG(warning, "Service not found");
    return std::nullopt;
  }
  std::optional<GattCharacteristic> result = found->second.find(characteristic);
  if (!result) TREVALON_LOG(warning, "Characteristic not found");
  return result;
}

void BLEReaderSim::readCharacteristic(ble::Uuid service, ble::Uuid characteristic) {
  TREVALON_TRACE_QUIET();
  std::vector<uint8_t> value;
  std::optional<GattCharacteristic> found = findCharacteristic(service, characteristic);
  std::shared_ptr<SimulatedRadio> air = found ? liveRadio() : nullptr;
  std::shared_ptr<EmulatedPeripheral> peer = air ? air->findPeripheral(address) : nullptr;
  if (found && !found->readable) {
    TREVALON_LOG(error, "Characteristic not readable");
  } else if (found) {
    std::optional<std::vector<uint8_t>> read = peer ? peer->read(service, characteristic) : std::nullopt;
    if (read) waitForLink(*air, LinkModel::Operation::read, read->size());
    if (!read) {
      TREVALON_LOG(error, "could not read characteristic: 0x%X", kErrorNotConnected);
    } else if (read->size() > kMaxReadLength) {
      // The platform reads into a buffer of 24 value bytes; a longer value does not fit and is lost.
      TREVALON_LOG(error, "could not read characteristic: 0x%X", kErrorInsufficientBuffer);
    } else {
      value = std::move(*read);
    }
  }
  notifyObservers(&ble::BLEReaderNativeObserver::onCharacteristicRead, service, characteristic, value);
}

void BLEReaderSim::writeCharacteristic(ble::Uuid service, ble::Uuid characteristic, std::vector<uint8_t> data) {
  TREVALON_TRACE_QUIET();
  bool written = false;
  std::optional<GattCharacteristic> found = findCharacteristic(service, characteristic);
  if (found && !found->writable) {
    TREVALON_LOG(error, "Characteristic not writeable");
  } else if (found) {
    std::shared_ptr<SimulatedRadio> air = liveRadio();
    std::shared_ptr<EmulatedPeripheral> peer = air ? air->findPeripheral(address) : nullptr;
    if (peer) waitForLink(*air, LinkModel::Operation::write, data.size());
    written = peer && peer->write(service, characteristic, data);
    if (!written) {
      TREVALON_LOG(error, "SetCharacteristicValue failed with 0x%X",
                   peer && peer->isLinkUp() ? kErrorWriteRefused : kErrorNotConnected);
    }
  }
  notifyObservers(&ble::BLEReaderNativeObserver::onCharacteristicWritten, service, characteristic, written);
}

// With link timing on, an operation takes as long as its packets and the peer's response take on the link.
void BLEReaderSim::waitForLink(SimulatedRadio& air, LinkModel::Operation operation, size_t valueBytes) {
  if (std::shared_ptr<LinkModel> link = air.linkModel(address)) {
    std::this_thread::sleep_until(link->book(operation, valueBytes, LinkModel::Clock::now()));
  }
}

bool BLEReaderSim::registerCharacteristic(ble::Uuid service, ble::Uuid characteristic) {
  TREVALON_TRACE_ARGS(characteristic.toString());
  std::optional<GattCharacteristic> found = findCharacteristic(service, characteristic);
  if (!found) return false;
  if (!found->notifiable) {
    TREVALON_LOG(error, "ClientCharacteristicConfiguration not found");
    return false;
  }
  std::shared_ptr<SimulatedRadio> air = liveRadio();
  std::shared_ptr<EmulatedPeripheral> peer = air ? air->findPeripheral(address) : nullptr;
  if (!peer || !peer->subscribe(service, characteristic, true)) {
    TREVALON_LOG(error, "SetDescriptorValue failed with 0x%X", kErrorNotConnected);
    return false;
  }
  std::shared_ptr<BLEReaderSim> self = sharedAs<BLEReaderSim>();
  if (!self) return false;
  air->subscribe(address, service, characteristic, self);
  bool becameAvailable = false;
  {
    std::lock_guard<std::mutex> guard(lock);
    subscribed.insert(CharacteristicKey(service, characteristic));
    if (!available) {
      available = true;
      becameAvailable = true;
    }
  }
  if (becameAvailable) notifyObservers(&ble::BLEReaderNativeObserver::onAvailableChanged, true);
  return true;
}

bool BLEReaderSim::unregisterCharacteristic(ble::Uuid service, ble::Uuid characteristic) {
  TREVALON_TRACE_ARGS(characteristic.toString());
  bool wasSubscribed = false;
  {
    std::lock_guard<std::mutex> guard(lock);
    wasSubscribed = subscribed.erase(CharacteristicKey(service, characteristic)) != 0;
  }
  std::shared_ptr<SimulatedRadio> air = wasSubscribed ? liveRadio() : nullptr;
  if (air) {
    air->unsubscribe(address, service, characteristic, this);
    if (std::shared_ptr<EmulatedPeripheral> peer = air->findPeripheral(address)) {
      peer->subscribe(service, characteristic, false);
    }
  }
  return true;
}

void BLEReaderSim::dropSubscriptions(SimulatedRadio& from) {
  TREVALON_TRACE_QUIET();
  std::set<CharacteristicKey> dropped;
  {
    std::lock_guard<std::mutex> guard(lock);
    dropped.swap(subscribed);
  }
  for (const CharacteristicKey& key : dropped) from.unsubscribe(address, key.first, key.second, this);
}

void BLEReaderSim::deliverNotification(const ble::Uuid& service, const ble::Uuid& characteristic,
                                       const std::vector<uint8_t>& data) {
  TREVALON_TRACE_QUIET();
  {
    std::lock_guard<std::mutex> guard(lock);
    if (subscribed.count(CharacteristicKey(service, characteristic)) == 0) return;
  }
  notifyObservers(&ble::BLEReaderNativeObserver::onCharacteristicChanged, service, characteristic, data);
}

void BLEReaderSim::onFound(const std::string& item) {
  if (item != address) return;
  TREVALON_TRACE_ARGS(item);
  setAvailable(true);
}

void BLEReaderSim::onLost(const std::string& item) {
  if (item != address) return;
  TREVALON_TRACE_ARGS(item);
  setAvailable(false);
}

void BLEReaderSim::setAvailable(bool value) {
  TREVALON_TRACE_ARGS(value ? "true" : "false");
  {
    std::lock_guard<std::mutex> guard(lock);
    // A peer lost before anything made the reader available leaves it "never known", as on the platform.
    if (available == value || (!value && !available)) return;
    available = value;
  }
  notifyObservers(&ble::BLEReaderNativeObserver::onAvailableChanged, value);
}

}  // namespace trevalon::sim
