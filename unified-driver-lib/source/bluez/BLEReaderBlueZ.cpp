// SPDX-License-Identifier: Apache-2.0
#include "trevalon/bluez/BLEReaderBlueZ.h"

#include <chrono>
#include <thread>

#include "BlueZCaller.h"
#include "BlueZNames.h"
#include "trevalon/bluez/BLEConnectionBlueZ.h"
#include "trevalon/common/Log.h"
#include "trevalon/common/ScopeTrace.h"

namespace trevalon::bluez {
namespace {

// Linking can take a few connection intervals and retries on the air.
constexpr std::chrono::milliseconds kConnectTimeout{10000};
// BlueZ reports ServicesResolved before the last GATT object may be exported.
constexpr std::chrono::milliseconds kResolveTimeout{5000};
constexpr std::chrono::milliseconds kResolvePoll{20};
constexpr std::chrono::milliseconds kGattTimeout = BlueZCaller::kDefaultTimeout;

using Options = std::map<std::string, sdbus::Variant>;

bool hasFlag(const std::set<std::string>& flags, std::initializer_list<const char*> wanted) {
  for (const char* flag : wanted) {
    if (flags.count(flag) != 0) return true;
  }
  return false;
}

template <typename T>
std::optional<T> valueOf(const BlueZCaller::Properties& properties, const std::string& name) {
  auto found = properties.find(name);
  if (found == properties.end() || !found->second.containsValueOfType<T>()) return std::nullopt;
  return found->second.get<T>();
}

}  // namespace

std::shared_ptr<BLEReaderBlueZ> BLEReaderBlueZ::create(const std::shared_ptr<BLEConnectionBlueZ>& watcher,
                                                       std::string id, std::string address, std::string name,
                                                       std::string path) {
  TREVALON_TRACE_ARGS(address);
  auto reader = std::make_shared<BLEReaderBlueZ>(watcher, BlueZCaller::connectSystemBus(), std::move(id),
                                                 std::move(address), std::move(name), std::move(path));
  if (watcher) {
    watcher->addObserver(reader);
  } else {
    TREVALON_LOG(error, "no connection watcher for %s; the reader hears of no link changes", reader->address.c_str());
  }
  return reader;
}

BLEReaderBlueZ::BLEReaderBlueZ(const std::shared_ptr<BLEConnectionBlueZ>& watcher, std::shared_ptr<BlueZCaller> caller,
                               std::string id, std::string address, std::string name, std::string path)
    // The watcher's inner pointer, not its owners' one: a reader must never be the one that stops its threads.
    : watcher(watcher ? watcher->sharedAs<BLEConnectionBlueZ>() : nullptr),
      caller(std::move(caller)),
      id(std::move(id)),
      address(std::move(address)),
      name(std::move(name)),
      path(std::move(path)) {}

BLEReaderBlueZ::~BLEReaderBlueZ() {
  // Value changes must not find a sink of a reader that is gone; the link itself is left to BlueZ.
  if (std::shared_ptr<BLEConnectionBlueZ> events = watcher.lock()) {
    for (const auto& entry : notifying) events->unwatchValue(entry.second);
  }
}

bool BLEReaderBlueZ::isAvailable() {
  TREVALON_TRACE_QUIET();
  std::lock_guard<std::mutex> guard(lock);
  return available.value_or(false);
}

bool BLEReaderBlueZ::isConnected() {
  TREVALON_TRACE_QUIET();
  std::lock_guard<std::mutex> guard(lock);
  return connection.has_value();
}

bool BLEReaderBlueZ::isPaired() {
  TREVALON_TRACE_QUIET();
  return true;
}

bool BLEReaderBlueZ::setPaired(bool paired) {
  TREVALON_TRACE_ARGS(paired ? "true" : "false");
  if (paired) {
    TREVALON_LOG(info, "Pairing is not supported at the moment");
    return false;
  }
  if (!caller) return false;
  return caller
      ->call(BlueZNames::adapterOf(path), BlueZNames::kAdapter, "RemoveDevice", kGattTimeout, sdbus::ObjectPath(path))
      .has_value();
}

bool BLEReaderBlueZ::connect() {
  {
    std::lock_guard<std::mutex> guard(lock);
    if (connection && !linkLost) return true;
  }
  TREVALON_TRACE();
  std::lock_guard<std::mutex> attempt(connectLock);
  bool relink = false;
  {
    std::lock_guard<std::mutex> guard(lock);
    if (retired) return false;
    if (connection && !linkLost) return true;
    relink = connection.has_value();
  }
  if (!caller || !linkDevice()) return false;
  std::optional<Services> services = resolvedServices();
  if (!services) return false;
  {
    std::lock_guard<std::mutex> guard(lock);
    connection = std::move(services);
    linkLost = false;
    notifying.clear();
  }
  resubscribe();
  // A link that came back is this program's connection still: the layers above saw the reader go and come
  // back through its availability and keep their state, as they do when the system restores a link itself.
  if (!relink) notifyObservers(&ble::BLEReaderNativeObserver::onConnectedChanged, true);
  return true;
}

bool BLEReaderBlueZ::linkDevice() {
  TREVALON_TRACE_QUIET();
  // A device BlueZ has linked already answers Connect at once.
  if (caller->call(path, BlueZNames::kDevice, "Connect", kConnectTimeout)) return true;
  std::optional<sdbus::Variant> linked = caller->property(path, BlueZNames::kDevice, "Connected");
  return linked && linked->containsValueOfType<bool>() && linked->get<bool>();
}

std::optional<BLEReaderBlueZ::Services> BLEReaderBlueZ::resolvedServices() {
  TREVALON_TRACE_QUIET();
  const auto deadline = std::chrono::steady_clock::now() + kResolveTimeout;
  for (;;) {
    std::optional<BlueZCaller::ManagedObjects> objects = caller->managedObjects();
    if (!objects) return std::nullopt;
    auto device = objects->find(sdbus::ObjectPath(path));
    if (device == objects->end() || device->second.count(BlueZNames::kDevice) == 0) {
      TREVALON_LOG(error, "device %s is no longer known to BlueZ", path.c_str());
      return std::nullopt;
    }
    const bool resolved = valueOf<bool>(device->second.at(BlueZNames::kDevice), "ServicesResolved").value_or(false);
    Services services;
    std::map<std::string, ble::Uuid> serviceByPath;
    for (const auto& [objectPath, interfaces] : *objects) {
      auto service = interfaces.find(BlueZNames::kGattService);
      if (service == interfaces.end() || !BlueZNames::isBelow(objectPath, path)) continue;
      std::optional<ble::Uuid> uuid = ble::Uuid::parse(valueOf<std::string>(service->second, "UUID").value_or(""));
      if (!uuid) continue;
      services[*uuid].path = objectPath;
      serviceByPath[objectPath] = *uuid;
    }
    size_t characteristicCount = 0;
    for (const auto& [objectPath, interfaces] : *objects) {
      auto characteristic = interfaces.find(BlueZNames::kGattCharacteristic);
      if (characteristic == interfaces.end()) continue;
      auto owner = serviceByPath.find(valueOf<sdbus::ObjectPath>(characteristic->second, "Service").value_or(""));
      std::optional<ble::Uuid> uuid =
          ble::Uuid::parse(valueOf<std::string>(characteristic->second, "UUID").value_or(""));
      if (owner == serviceByPath.end() || !uuid) continue;
      std::vector<std::string> flags =
          valueOf<std::vector<std::string>>(characteristic->second, "Flags").value_or(std::vector<std::string>());
      services[owner->second].characteristics[*uuid] = Characteristic{objectPath, {flags.begin(), flags.end()}};
      ++characteristicCount;
    }
    if (resolved && characteristicCount > 0) return services;
    if (std::chrono::steady_clock::now() >= deadline) {
      TREVALON_LOG(error, "services of %s were not resolved within %lld ms", address.c_str(),
                   static_cast<long long>(kResolveTimeout.count()));
      return std::nullopt;
    }
    std::this_thread::sleep_for(kResolvePoll);
  }
}

void BLEReaderBlueZ::resubscribe() {
  TREVALON_TRACE_QUIET();
  std::set<CharacteristicKey> again;
  {
    std::lock_guard<std::mutex> guard(lock);
    again = wanted;
  }
  for (const CharacteristicKey& key : again) {
    std::optional<Characteristic> found = findCharacteristic(key.first, key.second);
    if (found && !startNotify(key, found->path)) {
      TREVALON_LOG(warning, "notifications of %s could not be set up again", key.second.toString().c_str());
    }
  }
}

void BLEReaderBlueZ::disconnect() {
  TREVALON_TRACE();
  std::map<CharacteristicKey, std::string> subscribed;
  {
    std::lock_guard<std::mutex> guard(lock);
    if (!connection) return;
    connection.reset();
    linkLost = false;
    subscribed.swap(notifying);
  }
  // Only this program's use of the device ends: the link is BlueZ's, kept for every program as the system keeps
  // a bonded reader linked. Unlinking here would make the reader vanish and come back after every idle spell.
  for (const auto& entry : subscribed) stopNotify(entry.second);
  notifyObservers(&ble::BLEReaderNativeObserver::onConnectedChanged, false);
}

void BLEReaderBlueZ::markLinkLost() {
  TREVALON_TRACE_QUIET();
  std::map<CharacteristicKey, std::string> subscribed;
  {
    std::lock_guard<std::mutex> guard(lock);
    if (!connection) return;
    linkLost = true;
    subscribed.swap(notifying);
  }
  if (std::shared_ptr<BLEConnectionBlueZ> events = watcher.lock()) {
    for (const auto& entry : subscribed) events->unwatchValue(entry.second);
  }
}

std::string BLEReaderBlueZ::getAddress() {
  TREVALON_TRACE_QUIET();
  return address;
}

std::string BLEReaderBlueZ::getId() {
  TREVALON_TRACE_QUIET();
  return id;
}

std::string BLEReaderBlueZ::getName() {
  TREVALON_TRACE_QUIET();
  return name;
}

bool BLEReaderBlueZ::hasService(ble::Uuid service, std::vector<ble::Uuid> characteristics) {
  TREVALON_TRACE_ARGS(service.toString());
  std::lock_guard<std::mutex> guard(lock);
  if (!connection) return false;
  auto found = connection->find(service);
  if (found == connection->end()) return false;
  for (const ble::Uuid& characteristic : characteristics) {
    if (found->second.characteristics.count(characteristic) == 0) {
      TREVALON_LOG(info, "Characteristic not found");
      return false;
    }
  }
  return true;
}

std::optional<BLEReaderBlueZ::Characteristic> BLEReaderBlueZ::findCharacteristic(const ble::Uuid& service,
                                                                                 const ble::Uuid& characteristic) {
  TREVALON_TRACE_QUIET();
  std::lock_guard<std::mutex> guard(lock);
  if (!connection) return std::nullopt;
  auto found = connection->find(service);
  if (found == connection->end()) {
    TREVALON_LOG(warning, "Service not found");
    return std::nullopt;
  }
  auto entry = found->second.characteristics.find(characteristic);
  if (entry == found->second.characteristics.end()) {
    TREVALON_LOG(warning, "Characteristic not found");
    return std::nullopt;
  }
  return entry->second;
}

void BLEReaderBlueZ::readCharacteristic(ble::Uuid service, ble::Uuid characteristic) {
  TREVALON_TRACE_QUIET();
  std::vector<uint8_t> value;
  std::optional<Characteristic> found = findCharacteristic(service, characteristic);
  if (found && !hasFlag(found->flags, {"read", "encrypt-read", "encrypt-authenticated-read"})) {
    TREVALON_LOG(error, "Characteristic not readable");
  } else if (found && caller) {
    std::optional<sdbus::MethodReply> reply =
        caller->call(found->path, BlueZNames::kGattCharacteristic, "ReadValue", kGattTimeout, Options());
    try {
      if (reply) *reply >> value;
    } catch (const sdbus::Error& error) {
      TREVALON_LOG(error, "ReadValue answered %s: %s", error.getName().c_str(), error.getMessage().c_str());
      value.clear();
    }
  }
  notifyObservers(&ble::BLEReaderNativeObserver::onCharacteristicRead, service, characteristic, value);
}

void BLEReaderBlueZ::writeCharacteristic(ble::Uuid service, ble::Uuid characteristic, std::vector<uint8_t> data) {
  TREVALON_TRACE_QUIET();
  bool written = false;
  std::optional<Characteristic> found = findCharacteristic(service, characteristic);
  if (found && !hasFlag(found->flags, {"write", "encrypt-write", "encrypt-authenticated-write"})) {
    TREVALON_LOG(error, "Characteristic not writeable");
  } else if (found && caller) {
    Options options{{"type", sdbus::Variant(std::string("request"))}};
    written = caller->call(found->path, BlueZNames::kGattCharacteristic, "WriteValue", kGattTimeout, data, options)
                  .has_value();
  }
  notifyObservers(&ble::BLEReaderNativeObserver::onCharacteristicWritten, service, characteristic, written);
}

bool BLEReaderBlueZ::registerCharacteristic(ble::Uuid service, ble::Uuid characteristic) {
  TREVALON_TRACE_ARGS(characteristic.toString());
  std::optional<Characteristic> found = findCharacteristic(service, characteristic);
  if (!found) return false;
  if (!hasFlag(found->flags, {"notify", "indicate"})) {
    TREVALON_LOG(error, "ClientCharacteristicConfiguration not found");
    return false;
  }
  const CharacteristicKey key(service, characteristic);
  bool subscribed = false;
  {
    std::lock_guard<std::mutex> guard(lock);
    subscribed = notifying.count(key) != 0;
  }
  if (!subscribed && !startNotify(key, found->path)) return false;
  bool becameAvailable = false;
  {
    std::lock_guard<std::mutex> guard(lock);
    wanted.insert(key);
    if (!available) {
      available = true;
      becameAvailable = true;
    }
  }
  if (becameAvailable) notifyObservers(&ble::BLEReaderNativeObserver::onAvailableChanged, true);
  return true;
}

bool BLEReaderBlueZ::startNotify(const CharacteristicKey& key, const std::string& characteristicPath) {
  TREVALON_TRACE_QUIET();
  std::shared_ptr<BLEConnectionBlueZ> events = watcher.lock();
  if (!events || !caller) return false;
  // Watching and counted as subscribed before subscribing: a value sent right after the subscription must not
  // slip through.
  std::weak_ptr<BLEReaderBlueZ> self = sharedAs<BLEReaderBlueZ>();
  {
    std::lock_guard<std::mutex> guard(lock);
    notifying[key] = characteristicPath;
  }
  events->watchValue(characteristicPath, [self, key](const std::vector<uint8_t>& data) {
    if (std::shared_ptr<BLEReaderBlueZ> reader = self.lock()) {
      reader->deliverNotification(key.first, key.second, data);
    }
  });
  if (caller->call(characteristicPath, BlueZNames::kGattCharacteristic, "StartNotify", kGattTimeout)) return true;
  events->unwatchValue(characteristicPath);
  std::lock_guard<std::mutex> guard(lock);
  notifying.erase(key);
  return false;
}

void BLEReaderBlueZ::stopNotify(const std::string& characteristicPath) {
  TREVALON_TRACE_QUIET();
  if (std::shared_ptr<BLEConnectionBlueZ> events = watcher.lock()) events->unwatchValue(characteristicPath);
  if (caller) caller->call(characteristicPath, BlueZNames::kGattCharacteristic, "StopNotify", kGattTimeout);
}

bool BLEReaderBlueZ::unregisterCharacteristic(ble::Uuid service, ble::Uuid characteristic) {
  TREVALON_TRACE_ARGS(characteristic.toString());
  const CharacteristicKey key(service, characteristic);
  std::string subscribedPath;
  {
    std::lock_guard<std::mutex> guard(lock);
    wanted.erase(key);
    auto found = notifying.find(key);
    if (found != notifying.end()) {
      subscribedPath = found->second;
      notifying.erase(found);
    }
  }
  if (!subscribedPath.empty()) stopNotify(subscribedPath);
  return true;
}

void BLEReaderBlueZ::deliverNotification(const ble::Uuid& service, const ble::Uuid& characteristic,
                                         const std::vector<uint8_t>& data) {
  TREVALON_TRACE_QUIET();
  {
    std::lock_guard<std::mutex> guard(lock);
    if (notifying.count(CharacteristicKey(service, characteristic)) == 0) return;
  }
  notifyObservers(&ble::BLEReaderNativeObserver::onCharacteristicChanged, service, characteristic, data);
}

void BLEReaderBlueZ::onFound(const std::string& item) {
  if (item != address) return;
  TREVALON_TRACE_ARGS(item);
  {
    std::lock_guard<std::mutex> guard(lock);
    if (retired) return;
  }
  setAvailable(true);
}

void BLEReaderBlueZ::retire() {
  TREVALON_TRACE_ARGS(address);
  {
    std::lock_guard<std::mutex> guard(lock);
    retired = true;
  }
  markLinkLost();
  setAvailable(false);
}

void BLEReaderBlueZ::onLost(const std::string& item) {
  if (item != address) return;
  TREVALON_TRACE_ARGS(item);
  // BlueZ ends the GATT sessions with the link: the next operation links again and subscribes again.
  markLinkLost();
  setAvailable(false);
}

void BLEReaderBlueZ::setAvailable(bool value) {
  TREVALON_TRACE_ARGS(value ? "true" : "false");
  {
    std::lock_guard<std::mutex> guard(lock);
    // A peer lost before anything made the reader available stays "never known".
    if (available == value || (!value && !available)) return;
    available = value;
  }
  notifyObservers(&ble::BLEReaderNativeObserver::onAvailableChanged, value);
}

}  // namespace trevalon::bluez
