// SPDX-License-Identifier: Apache-2.0
#include "EmulatedDeviceObject.h"

#include <cstdio>

#include "kelvo/simulator/kelvo/KelvoReaderEmulator.h"
#include "trevalon/common/Log.h"

namespace kelvo::kelvo_sim {
namespace {

const std::string kDevice = "org.bluez.Device1";
const std::string kService = "org.bluez.GattService1";
const std::string kCharacteristic = "org.bluez.GattCharacteristic1";
const std::string kFailed = "org.bluez.Error.Failed";
const std::string kNotPermitted = "org.bluez.Error.NotPermitted";
const std::string kNotSupported = "org.bluez.Error.NotSupported";
const std::string kInvalidArguments = "org.bluez.Error.InvalidArguments";

std::string handleName(const char* kind, size_t handle) {
  char text[32];
  std::snprintf(text, sizeof text, "%s%04zx", kind, handle);
  return text;
}

}  // namespace

std::string EmulatedDeviceObject::bluezAddress(const std::string& address) {
  std::string text;
  for (size_t i = 0; i < address.size(); ++i) {
    if (i > 0 && i % 2 == 0) text.push_back(':');
    text.push_back(static_cast<char>(std::toupper(static_cast<unsigned char>(address[i]))));
  }
  return text;
}

EmulatedDeviceObject::EmulatedDeviceObject(sdbus::IConnection& bus, const std::string& adapterPath,
                                           std::shared_ptr<trevalon::sim::EmulatedPeripheral> peripheral)
    : bus(bus),
      adapterPath(adapterPath),
      peripheral(std::move(peripheral)),
      devicePath(adapterPath + "/dev_" +
                 [this] {
                   std::string name = bluezAddress(this->peripheral->address());
                   for (char& c : name) c = c == ':' ? '_' : c;
                   return name;
                 }()),
      linked(this->peripheral->isLinkUp()) {
  registerDevice();
  if (linked) exportGatt();
}

EmulatedDeviceObject::~EmulatedDeviceObject() {
  try {
    withdrawGatt();
    device->emitInterfacesRemovedSignal();
  } catch (const sdbus::Error& error) {
    TREVALON_LOG(warning, "cannot announce %s as gone: %s", devicePath.c_str(), error.getMessage().c_str());
  }
}

void EmulatedDeviceObject::registerDevice() {
  device = sdbus::createObject(bus, devicePath);
  device->registerMethod("Connect").onInterface(kDevice).implementedAs([this] { connect(); });
  device->registerMethod("Disconnect").onInterface(kDevice).implementedAs([this] { disconnect(); });
  device->registerProperty("Address").onInterface(kDevice).withGetter(
      [this] { return bluezAddress(peripheral->address()); });
  device->registerProperty("AddressType").onInterface(kDevice).withGetter([] { return std::string("public"); });
  device->registerProperty("Name").onInterface(kDevice).withGetter([this] { return peripheral->name(); });
  device->registerProperty("Alias").onInterface(kDevice).withGetter([this] { return peripheral->name(); });
  device->registerProperty("Adapter").onInterface(kDevice).withGetter(
      [this] { return sdbus::ObjectPath(adapterPath); });
  device->registerProperty("Paired").onInterface(kDevice).withGetter([] { return true; });
  device->registerProperty("Connected").onInterface(kDevice).withGetter([this] { return linked; });
  device->registerProperty("ServicesResolved").onInterface(kDevice).withGetter([this] { return linked; });
  device->registerProperty("UUIDs").onInterface(kDevice).withGetter([this] {
    std::vector<std::string> uuids;
    for (const trevalon::sim::GattService& service : peripheral->services()) uuids.push_back(service.uuid.toString());
    return uuids;
  });
  device->finishRegistration();
  device->emitInterfacesAddedSignal();
}

void EmulatedDeviceObject::withdrawGatt() {
  for (auto& characteristic : characteristics) characteristic->object->emitInterfacesRemovedSignal();
  for (Service& service : services) service.object->emitInterfacesRemovedSignal();
  characteristics.clear();
  services.clear();
}

void EmulatedDeviceObject::exportGatt() {
  if (!linked || !services.empty()) return;
  size_t handle = 1;
  for (const trevalon::sim::GattService& gattService : peripheral->services()) {
    const std::string servicePath = devicePath + "/" + handleName("service", handle++);
    Service service{sdbus::createObject(bus, servicePath), gattService.uuid};
    const trevalon::ble::Uuid uuid = gattService.uuid;
    service.object->registerProperty("UUID").onInterface(kService).withGetter([uuid] { return uuid.toString(); });
    service.object->registerProperty("Primary").onInterface(kService).withGetter([] { return true; });
    service.object->registerProperty("Device").onInterface(kService).withGetter(
        [this] { return sdbus::ObjectPath(devicePath); });
    service.object->finishRegistration();
    service.object->emitInterfacesAddedSignal();
    for (const trevalon::sim::GattCharacteristic& gattCharacteristic : gattService.characteristics) {
      auto characteristic = std::make_unique<Characteristic>();
      characteristic->object = sdbus::createObject(bus, servicePath + "/" + handleName("char", handle++));
      characteristic->servicePath = servicePath;
      characteristic->service = gattService.uuid;
      characteristic->uuid = gattCharacteristic.uuid;
      if (gattCharacteristic.readable) characteristic->flags.push_back("read");
      if (gattCharacteristic.writable) characteristic->flags.push_back("write");
      if (gattCharacteristic.notifiable) characteristic->flags.push_back("notify");
      registerCharacteristic(*characteristic);
      characteristics.push_back(std::move(characteristic));
    }
    services.push_back(std::move(service));
  }
}

void EmulatedDeviceObject::registerCharacteristic(Characteristic& characteristic) {
  sdbus::IObject& object = *characteristic.object;
  Characteristic* self = &characteristic;
  object.registerMethod("ReadValue")
      .onInterface(kCharacteristic)
      .implementedAs([this, self](const std::map<std::string, sdbus::Variant>&) { return readValue(*self); });
  object.registerMethod("WriteValue")
      .onInterface(kCharacteristic)
      .implementedAs(
          [this, self](const std::vector<uint8_t>& value, const std::map<std::string, sdbus::Variant>& options) {
            writeValue(*self, value, options);
          });
  object.registerMethod("StartNotify").onInterface(kCharacteristic).implementedAs([this, self] { startNotify(*self); });
  object.registerMethod("StopNotify").onInterface(kCharacteristic).implementedAs([this, self] { stopNotify(*self); });
  object.registerProperty("UUID").onInterface(kCharacteristic).withGetter([self] { return self->uuid.toString(); });
  object.registerProperty("Service").onInterface(kCharacteristic).withGetter([self] {
    return sdbus::ObjectPath(self->servicePath);
  });
  object.registerProperty("Flags").onInterface(kCharacteristic).withGetter([self] { return self->flags; });
  object.registerProperty("Notifying").onInterface(kCharacteristic).withGetter([self] { return self->notifying; });
  object.registerProperty("Value").onInterface(kCharacteristic).withGetter([self] { return self->value; });
  object.finishRegistration();
  object.emitInterfacesAddedSignal();
}

void EmulatedDeviceObject::connect() {
  if (linked) return;
  // A reader in range takes the connection; its link event then tells everyone.
  if (auto reader = std::dynamic_pointer_cast<kelvo::simulator::KelvoReaderEmulator>(peripheral))
    reader->setLinkUp(true);
  if (!peripheral->isLinkUp()) throw sdbus::Error(kFailed, "le-connection-abort-by-local");
  setLinked(true);
  // A Kelvo reader's link event makes the owner export the GATT objects; another device has none.
  if (!std::dynamic_pointer_cast<kelvo::simulator::KelvoReaderEmulator>(peripheral)) exportGatt();
}

void EmulatedDeviceObject::disconnect() {
  if (auto reader = std::dynamic_pointer_cast<kelvo::simulator::KelvoReaderEmulator>(peripheral)) {
    reader->setLinkUp(false);
  }
  setLinked(false);
}

void EmulatedDeviceObject::setLinked(bool up) {
  if (linked == up) return;
  linked = up;
  device->emitPropertiesChangedSignal(kDevice, {"Connected", "ServicesResolved"});
  if (!up) withdrawGatt();
}

void EmulatedDeviceObject::requireLink() const {
  if (!linked) throw sdbus::Error(kFailed, "Not connected");
}

bool EmulatedDeviceObject::hasFlag(const Characteristic& characteristic, const std::string& flag) const {
  for (const std::string& candidate : characteristic.flags) {
    if (candidate == flag) return true;
  }
  return false;
}

std::vector<uint8_t> EmulatedDeviceObject::readValue(Characteristic& characteristic) {
  requireLink();
  if (!hasFlag(characteristic, "read")) throw sdbus::Error(kNotPermitted, "Read not permitted");
  std::optional<std::vector<uint8_t>> value = peripheral->read(characteristic.service, characteristic.uuid);
  if (!value) throw sdbus::Error(kFailed, "Operation failed with ATT error: 0x0e");
  characteristic.value = *value;
  return *value;
}

void EmulatedDeviceObject::writeValue(Characteristic& characteristic, const std::vector<uint8_t>& value,
                                      const std::map<std::string, sdbus::Variant>& options) {
  requireLink();
  auto type = options.find("type");
  if (type != options.end()) {
    if (!type->second.containsValueOfType<std::string>()) throw sdbus::Error(kInvalidArguments, "Invalid arguments");
    const std::string kind = type->second.get<std::string>();
    if (kind != "request" && kind != "command" && kind != "reliable") {
      throw sdbus::Error(kInvalidArguments, "Invalid arguments");
    }
    if (kind != "request") throw sdbus::Error(kNotSupported, "Operation is not supported");
  }
  if (!hasFlag(characteristic, "write")) throw sdbus::Error(kNotPermitted, "Write not permitted");
  if (!peripheral->write(characteristic.service, characteristic.uuid, value)) {
    throw sdbus::Error(kFailed, "Operation failed with ATT error: 0x80");
  }
}

void EmulatedDeviceObject::startNotify(Characteristic& characteristic) {
  requireLink();
  if (!hasFlag(characteristic, "notify")) throw sdbus::Error(kNotSupported, "Operation is not supported");
  if (characteristic.notifying) return;
  if (!peripheral->subscribe(characteristic.service, characteristic.uuid, true)) {
    throw sdbus::Error(kFailed, "Operation failed with ATT error: 0x0e");
  }
  characteristic.notifying = true;
  characteristic.object->emitPropertiesChangedSignal(kCharacteristic, {"Notifying"});
}

void EmulatedDeviceObject::stopNotify(Characteristic& characteristic) {
  if (!characteristic.notifying) throw sdbus::Error(kFailed, "No notify session started");
  characteristic.notifying = false;
  if (linked) peripheral->subscribe(characteristic.service, characteristic.uuid, false);
  characteristic.object->emitPropertiesChangedSignal(kCharacteristic, {"Notifying"});
}

void EmulatedDeviceObject::notify(const trevalon::ble::Uuid& service, const trevalon::ble::Uuid& uuid,
                                  const std::vector<uint8_t>& value) {
  for (auto& characteristic : characteristics) {
    if (characteristic->service != service || characteristic->uuid != uuid || !characteristic->notifying) continue;
    characteristic->value = value;
    characteristic->object->emitPropertiesChangedSignal(kCharacteristic, {"Value"});
  }
}

}  // namespace kelvo::kelvo_sim
