// SPDX-License-Identifier: Apache-2.0
#include "trevalon/bluez/BLEConnectionBlueZ.h"

#include <sdbus-c++/sdbus-c++.h>

#include "BlueZCaller.h"
#include "BlueZNames.h"
#include "trevalon/common/Log.h"
#include "trevalon/common/ScopeTrace.h"

namespace trevalon::bluez {
namespace {

const std::string kPropertiesChanged =
    "type='signal',sender='org.bluez',interface='org.freedesktop.DBus.Properties',member='PropertiesChanged',";

// The owners' share: releasing it stops the threads on the owner's thread, never on one of the event loops.
struct ConnectionOwnership {
  std::shared_ptr<BLEConnectionBlueZ> connection;
  ~ConnectionOwnership() { connection->shutdown(); }
};

// A handler that throws would end the event loop; a malformed signal is logged and dropped instead.
template <typename Handler>
sdbus::message_handler guarded(const char* what, Handler handler) {
  return [what, handler](sdbus::Message& message) {
    try {
      handler(message);
    } catch (const sdbus::Error& error) {
      TREVALON_LOG(warning, "%s: cannot read the signal: %s: %s", what, error.getName().c_str(),
                   error.getMessage().c_str());
    }
  };
}

}  // namespace

std::shared_ptr<BLEConnectionBlueZ> BLEConnectionBlueZ::create() {
  TREVALON_TRACE();
  std::shared_ptr<BlueZCaller> caller = BlueZCaller::connectSystemBus();
  if (!caller) return nullptr;
  std::shared_ptr<BLEConnectionBlueZ> connection;
  try {
    connection.reset(
        new BLEConnectionBlueZ(sdbus::createSystemBusConnection(), sdbus::createSystemBusConnection(), caller));
    connection->subscribe();
  } catch (const sdbus::Error& error) {
    TREVALON_LOG(error, "cannot watch BlueZ on the system bus: %s: %s", error.getName().c_str(),
                 error.getMessage().c_str());
    return nullptr;
  }
  // Signals are queued from the moment they are matched, so reading the state afterwards misses nothing.
  connection->resynchronise();
  connection->startThreads();
  auto ownership = std::make_shared<ConnectionOwnership>();
  ownership->connection = connection;
  BLEConnectionBlueZ* raw = connection.get();
  return std::shared_ptr<BLEConnectionBlueZ>(ownership, raw);
}

BLEConnectionBlueZ::BLEConnectionBlueZ(std::unique_ptr<sdbus::IConnection> linkBus,
                                       std::unique_ptr<sdbus::IConnection> valueBus,
                                       std::shared_ptr<BlueZCaller> caller)
    : linkBus(std::move(linkBus)), valueBus(std::move(valueBus)), caller(std::move(caller)) {}

BLEConnectionBlueZ::~BLEConnectionBlueZ() { shutdown(); }

void BLEConnectionBlueZ::subscribe() {
  TREVALON_TRACE_QUIET();
  linkBus->addMatch(kPropertiesChanged + "arg0='" + BlueZNames::kDevice + "'",
                    guarded("Device1 change", [this](sdbus::Message& m) { onDevicePropertiesChanged(m); }),
                    sdbus::floating_slot);
  linkBus->addMatch(
      "type='signal',sender='org.bluez',interface='org.freedesktop.DBus.ObjectManager',member='InterfacesAdded'",
      guarded("InterfacesAdded", [this](sdbus::Message& m) { onInterfacesAdded(m); }), sdbus::floating_slot);
  linkBus->addMatch(
      "type='signal',sender='org.bluez',interface='org.freedesktop.DBus.ObjectManager',member='InterfacesRemoved'",
      guarded("InterfacesRemoved", [this](sdbus::Message& m) { onInterfacesRemoved(m); }), sdbus::floating_slot);
  linkBus->addMatch(
      "type='signal',sender='org.freedesktop.DBus',interface='org.freedesktop.DBus',member='NameOwnerChanged',"
      "arg0='org.bluez'",
      guarded("NameOwnerChanged", [this](sdbus::Message& m) { onOwnerChanged(m); }), sdbus::floating_slot);
  valueBus->addMatch(kPropertiesChanged + "arg0='" + BlueZNames::kGattCharacteristic + "'",
                     guarded("value change", [this](sdbus::Message& m) { onValueChanged(m); }), sdbus::floating_slot);
}

void BLEConnectionBlueZ::startThreads() {
  TREVALON_TRACE_QUIET();
  std::lock_guard<std::mutex> guard(stateLock);
  running = true;
  linkPump = std::thread([this] {
    common::setThreadName("MSG__PUMP");
    linkBus->enterEventLoop();
  });
  valuePump = std::thread([this] {
    common::setThreadName("BLE_NOTIF");
    valueBus->enterEventLoop();
  });
}

void BLEConnectionBlueZ::shutdown() {
  {
    std::lock_guard<std::mutex> guard(stateLock);
    if (!running) return;
    running = false;
  }
  TREVALON_TRACE();
  linkBus->leaveEventLoop();
  valueBus->leaveEventLoop();
  if (linkPump.joinable()) linkPump.join();
  if (valuePump.joinable()) valuePump.join();
}

void BLEConnectionBlueZ::watchValue(const std::string& path, ValueSink sink) {
  TREVALON_TRACE_ARGS(path);
  std::lock_guard<std::mutex> guard(stateLock);
  watchers[path] = std::move(sink);
}

void BLEConnectionBlueZ::unwatchValue(const std::string& path) {
  TREVALON_TRACE_ARGS(path);
  std::lock_guard<std::mutex> guard(stateLock);
  watchers.erase(path);
}

void BLEConnectionBlueZ::onDevicePropertiesChanged(sdbus::Message& message) {
  TREVALON_TRACE_QUIET();
  std::string interface;
  BlueZCaller::Properties changed;
  message >> interface >> changed;
  auto connected = changed.find("Connected");
  if (connected == changed.end() || !connected->second.containsValueOfType<bool>()) return;
  const std::string address = addressOf(message.getPath());
  if (address.empty()) return;
  setConnected(address, connected->second.get<bool>());
}

void BLEConnectionBlueZ::onInterfacesAdded(sdbus::Message& message) {
  TREVALON_TRACE_QUIET();
  sdbus::ObjectPath path;
  BlueZCaller::Interfaces interfaces;
  message >> path >> interfaces;
  auto device = interfaces.find(BlueZNames::kDevice);
  if (device == interfaces.end()) return;
  auto address = device->second.find("Address");
  if (address == device->second.end() || !address->second.containsValueOfType<std::string>()) return;
  std::optional<std::string> libraryAddress = BlueZNames::libraryAddress(address->second.get<std::string>());
  if (!libraryAddress) return;
  {
    std::lock_guard<std::mutex> guard(stateLock);
    addresses[path] = *libraryAddress;
  }
  auto connected = device->second.find("Connected");
  if (connected != device->second.end() && connected->second.containsValueOfType<bool>()) {
    setConnected(*libraryAddress, connected->second.get<bool>());
  }
}

void BLEConnectionBlueZ::onInterfacesRemoved(sdbus::Message& message) {
  TREVALON_TRACE_QUIET();
  sdbus::ObjectPath path;
  std::vector<std::string> interfaces;
  message >> path >> interfaces;
  bool deviceGone = false;
  for (const std::string& interface : interfaces) deviceGone = deviceGone || interface == BlueZNames::kDevice;
  if (!deviceGone) return;
  std::string address;
  {
    std::lock_guard<std::mutex> guard(stateLock);
    auto found = addresses.find(path);
    if (found == addresses.end()) return;
    address = found->second;
    addresses.erase(found);
  }
  setConnected(address, false);
}

void BLEConnectionBlueZ::onOwnerChanged(sdbus::Message& message) {
  TREVALON_TRACE_QUIET();
  std::string name;
  std::string oldOwner;
  std::string newOwner;
  message >> name >> oldOwner >> newOwner;
  if (name != BlueZCaller::kService) return;
  if (newOwner.empty()) {
    TREVALON_LOG(warning, "bluetoothd left the bus; every peer is lost");
    loseEveryPeer();
  } else {
    TREVALON_LOG(info, "bluetoothd is on the bus as %s", newOwner.c_str());
    resynchronise();
  }
}

void BLEConnectionBlueZ::onValueChanged(sdbus::Message& message) {
  TREVALON_TRACE_QUIET();
  std::string interface;
  BlueZCaller::Properties changed;
  message >> interface >> changed;
  auto value = changed.find("Value");
  if (value == changed.end() || !value->second.containsValueOfType<std::vector<uint8_t>>()) return;
  ValueSink sink;
  {
    std::lock_guard<std::mutex> guard(stateLock);
    auto found = watchers.find(message.getPath());
    if (found == watchers.end()) return;
    sink = found->second;
  }
  sink(value->second.get<std::vector<uint8_t>>());
}

void BLEConnectionBlueZ::resynchronise() {
  TREVALON_TRACE();
  std::optional<BlueZCaller::ManagedObjects> objects = caller->managedObjects();
  if (!objects) {
    loseEveryPeer();
    return;
  }
  std::map<std::string, std::string> found;
  std::set<std::string> linked;
  for (const auto& [path, interfaces] : *objects) {
    auto device = interfaces.find(BlueZNames::kDevice);
    if (device == interfaces.end()) continue;
    auto address = device->second.find("Address");
    if (address == device->second.end() || !address->second.containsValueOfType<std::string>()) continue;
    std::optional<std::string> libraryAddress = BlueZNames::libraryAddress(address->second.get<std::string>());
    if (!libraryAddress) continue;
    found[path] = *libraryAddress;
    auto connected = device->second.find("Connected");
    if (connected != device->second.end() && connected->second.containsValueOfType<bool>() &&
        connected->second.get<bool>()) {
      linked.insert(*libraryAddress);
    }
  }
  {
    std::lock_guard<std::mutex> guard(stateLock);
    addresses = found;
  }
  for (const std::string& address : getProvided()) {
    if (linked.count(address) == 0) setConnected(address, false);
  }
  for (const std::string& address : linked) setConnected(address, true);
}

void BLEConnectionBlueZ::loseEveryPeer() {
  TREVALON_TRACE_QUIET();
  for (const std::string& address : getProvided()) setConnected(address, false);
}

std::string BLEConnectionBlueZ::addressOf(const std::string& devicePath) {
  TREVALON_TRACE_QUIET();
  {
    std::lock_guard<std::mutex> guard(stateLock);
    auto found = addresses.find(devicePath);
    if (found != addresses.end()) return found->second;
  }
  std::optional<sdbus::Variant> address = caller->property(devicePath, BlueZNames::kDevice, "Address");
  if (!address || !address->containsValueOfType<std::string>()) return "";
  std::optional<std::string> libraryAddress = BlueZNames::libraryAddress(address->get<std::string>());
  if (!libraryAddress) return "";
  std::lock_guard<std::mutex> guard(stateLock);
  addresses[devicePath] = *libraryAddress;
  return *libraryAddress;
}

}  // namespace trevalon::bluez
