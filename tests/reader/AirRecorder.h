// SPDX-License-Identifier: Apache-2.0
#pragma once
// Stands between the simulated radio and an emulated reader and keeps every value that crosses the air: what
// the host writes and what the reader notifies. Key agreements travel in plain, so their payloads are here as
// well; a test can then look for any of these bytes in the log.
//   auto recorder = AirRecorder::wrap(emulator);
//   radio->addPeripheral(recorder);

#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "trevalon/sim/EmulatedPeripheral.h"

namespace kelvo::test {

class AirRecorder : public trevalon::sim::EmulatedPeripheral,
                    public trevalon::sim::PeripheralListener,
                    public std::enable_shared_from_this<AirRecorder> {
 public:
  static std::shared_ptr<AirRecorder> wrap(std::shared_ptr<trevalon::sim::EmulatedPeripheral> device) {
    auto recorder = std::make_shared<AirRecorder>();
    recorder->device = std::move(device);
    return recorder;
  }

  std::vector<std::vector<uint8_t>> values() const {
    std::lock_guard<std::mutex> guard(lock);
    return seen;
  }

  std::string address() const override { return device->address(); }
  std::string name() const override { return device->name(); }
  std::vector<trevalon::sim::GattService> services() const override { return device->services(); }
  bool isLinkUp() const override { return device->isLinkUp(); }
  std::optional<std::vector<uint8_t>> read(const trevalon::ble::Uuid& service,
                                           const trevalon::ble::Uuid& characteristic) override {
    std::optional<std::vector<uint8_t>> value = device->read(service, characteristic);
    if (value) keep(*value);
    return value;
  }
  bool write(const trevalon::ble::Uuid& service, const trevalon::ble::Uuid& characteristic,
             const std::vector<uint8_t>& data) override {
    keep(data);
    return device->write(service, characteristic, data);
  }
  bool subscribe(const trevalon::ble::Uuid& service, const trevalon::ble::Uuid& characteristic, bool enable) override {
    return device->subscribe(service, characteristic, enable);
  }
  void attach(std::weak_ptr<trevalon::sim::PeripheralListener> listener) override {
    {
      std::lock_guard<std::mutex> guard(lock);
      radio = std::move(listener);
    }
    device->attach(weak_from_this());
  }

  void onNotification(const std::string& from, const trevalon::ble::Uuid& service,
                      const trevalon::ble::Uuid& characteristic, std::vector<uint8_t> data) override {
    keep(data);
    if (std::shared_ptr<trevalon::sim::PeripheralListener> listener = currentRadio()) {
      listener->onNotification(from, service, characteristic, std::move(data));
    }
  }
  void onLinkChanged(const std::string& from, bool up) override {
    if (std::shared_ptr<trevalon::sim::PeripheralListener> listener = currentRadio()) listener->onLinkChanged(from, up);
  }

 private:
  void keep(const std::vector<uint8_t>& value) {
    std::lock_guard<std::mutex> guard(lock);
    seen.push_back(value);
  }
  std::shared_ptr<trevalon::sim::PeripheralListener> currentRadio() {
    std::lock_guard<std::mutex> guard(lock);
    return radio.lock();
  }

  std::shared_ptr<trevalon::sim::EmulatedPeripheral> device;
  mutable std::mutex lock;
  std::weak_ptr<trevalon::sim::PeripheralListener> radio;
  std::vector<std::vector<uint8_t>> seen;
};

}  // namespace kelvo::test
