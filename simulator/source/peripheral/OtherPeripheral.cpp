// SPDX-License-Identifier: Apache-2.0
#include "kelvo/simulator/peripheral/OtherPeripheral.h"

namespace kelvo::simulator {
namespace {

trevalon::ble::Uuid sigUuid(uint16_t id) {
  std::array<uint8_t, 16> bytes = {0x00,
                                   0x00,
                                   static_cast<uint8_t>(id >> 8),
                                   static_cast<uint8_t>(id),
                                   0x00,
                                   0x00,
                                   0x10,
                                   0x00,
                                   0x80,
                                   0x00,
                                   0x00,
                                   0x80,
                                   0x5f,
                                   0x9b,
                                   0x34,
                                   0xfb};
  return trevalon::ble::Uuid(bytes);
}

}  // namespace

OtherPeripheral::OtherPeripheral(std::string address, std::string name, uint8_t battery)
    : peerAddress(std::move(address)), peerName(std::move(name)), battery(battery) {}

trevalon::ble::Uuid OtherPeripheral::batteryService() { return sigUuid(0x180F); }
trevalon::ble::Uuid OtherPeripheral::batteryLevel() { return sigUuid(0x2A19); }

std::vector<trevalon::sim::GattService> OtherPeripheral::services() const {
  trevalon::sim::GattCharacteristic level;
  level.uuid = batteryLevel();
  level.readable = true;
  level.notifiable = true;
  trevalon::sim::GattService service;
  service.uuid = batteryService();
  service.characteristics = {level};
  return {service};
}

std::optional<std::vector<uint8_t>> OtherPeripheral::read(const trevalon::ble::Uuid& service,
                                                          const trevalon::ble::Uuid& characteristic) {
  if (service != batteryService() || characteristic != batteryLevel()) return std::nullopt;
  return std::vector<uint8_t>{battery};
}

bool OtherPeripheral::write(const trevalon::ble::Uuid&, const trevalon::ble::Uuid&, const std::vector<uint8_t>&) {
  return false;
}

bool OtherPeripheral::subscribe(const trevalon::ble::Uuid& service, const trevalon::ble::Uuid& characteristic, bool) {
  return service == batteryService() && characteristic == batteryLevel();
}

void OtherPeripheral::attach(std::weak_ptr<trevalon::sim::PeripheralListener> radio) {
  std::lock_guard<std::mutex> guard(lock);
  listener = std::move(radio);
}

}  // namespace kelvo::simulator
