// SPDX-License-Identifier: Apache-2.0
#pragma once
// A peripheral that offers no reader service (a battery service only): discovery must pass it by.

#include <cstdint>
#include <memory>
#include <mutex>
#include <string>

#include "trevalon/sim/EmulatedPeripheral.h"

namespace kelvo::simulator {

class OtherPeripheral : public trevalon::sim::EmulatedPeripheral {
 public:
  OtherPeripheral(std::string address, std::string name, uint8_t battery);

  static trevalon::ble::Uuid batteryService();
  static trevalon::ble::Uuid batteryLevel();

  std::string address() const override { return peerAddress; }
  std::string name() const override { return peerName; }
  std::vector<trevalon::sim::GattService> services() const override;
  bool isLinkUp() const override { return true; }
  std::optional<std::vector<uint8_t>> read(const trevalon::ble::Uuid& service,
                                           const trevalon::ble::Uuid& characteristic) override;
  bool write(const trevalon::ble::Uuid& service, const trevalon::ble::Uuid& characteristic,
             const std::vector<uint8_t>& data) override;
  bool subscribe(const trevalon::ble::Uuid& service, const trevalon::ble::Uuid& characteristic, bool enable) override;
  void attach(std::weak_ptr<trevalon::sim::PeripheralListener> listener) override;

 private:
  const std::string peerAddress;
  const std::string peerName;
  const uint8_t battery;
  std::mutex lock;
  std::weak_ptr<trevalon::sim::PeripheralListener> listener;
};

}  // namespace kelvo::simulator
