// SPDX-License-Identifier: Apache-2.0
#pragma once
// One emulated peripheral as BlueZ shows a remote device: a Device1 object under the adapter and, below it,
// a GattService1 object per service and a GattCharacteristic1 object per characteristic, all answering from
// the emulator. As in BlueZ the GATT objects exist while the device is linked, and they may be exported a
// little after ServicesResolved turned true (exportGatt() is then called later by the owner). Lives on
// kelvo-sim's one bus thread; nothing here is called from any other.

#include <map>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include <sdbus-c++/sdbus-c++.h>

#include "trevalon/ble/Uuid.h"
#include "trevalon/sim/EmulatedPeripheral.h"

namespace kelvo::kelvo_sim {

class EmulatedDeviceObject {
 public:
  EmulatedDeviceObject(sdbus::IConnection& bus, const std::string& adapterPath,
                       std::shared_ptr<trevalon::sim::EmulatedPeripheral> peripheral);
  // Announces the objects as gone.
  ~EmulatedDeviceObject();
  EmulatedDeviceObject(const EmulatedDeviceObject&) = delete;
  EmulatedDeviceObject& operator=(const EmulatedDeviceObject&) = delete;

  const std::string& path() const { return devicePath; }
  // "00:1A:7D:DA:71:13" for the emulator's "001a7dda7113".
  static std::string bluezAddress(const std::string& address);

  // The emulator's link came up or went down: BlueZ ends every notification session with the link, and its
  // GATT objects go. On a link that comes up the owner exports them with exportGatt().
  void setLinked(bool up);
  bool isLinked() const { return linked; }
  // Exports the GATT objects of a linked device; nothing when they are there already.
  void exportGatt();
  // A notification of the emulator; it reaches the bus only while the characteristic is notifying.
  void notify(const trevalon::ble::Uuid& service, const trevalon::ble::Uuid& characteristic,
              const std::vector<uint8_t>& value);

 private:
  struct Characteristic {
    std::unique_ptr<sdbus::IObject> object;
    std::string servicePath;
    trevalon::ble::Uuid service;
    trevalon::ble::Uuid uuid;
    std::vector<std::string> flags;
    bool notifying = false;
    std::vector<uint8_t> value;
  };
  struct Service {
    std::unique_ptr<sdbus::IObject> object;
    trevalon::ble::Uuid uuid;
  };

  void registerDevice();
  void withdrawGatt();
  void registerCharacteristic(Characteristic& characteristic);
  void connect();
  void disconnect();
  std::vector<uint8_t> readValue(Characteristic& characteristic);
  void writeValue(Characteristic& characteristic, const std::vector<uint8_t>& value,
                  const std::map<std::string, sdbus::Variant>& options);
  void startNotify(Characteristic& characteristic);
  void stopNotify(Characteristic& characteristic);
  void requireLink() const;
  bool hasFlag(const Characteristic& characteristic, const std::string& flag) const;

  sdbus::IConnection& bus;
  const std::string adapterPath;
  const std::shared_ptr<trevalon::sim::EmulatedPeripheral> peripheral;
  const std::string devicePath;
  bool linked;
  std::unique_ptr<sdbus::IObject> device;
  std::vector<Service> services;
  std::vector<std::unique_ptr<Characteristic>> characteristics;
};

}  // namespace kelvo::kelvo_sim
