// SPDX-License-Identifier: Apache-2.0
#pragma once
// A device on the simulated radio, seen from the air: its address, name and GATT layout, the host's GATT
// operations, and a link that the device itself brings up and down. Device emulators implement it; the
// simulated radio checks properties before it calls an operation, but a peripheral must still cope with
// any bytes a host writes.

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "trevalon/ble/Uuid.h"
#include "trevalon/sim/GattProfile.h"
#include "trevalon/sim/PeripheralListener.h"

namespace trevalon::sim {

class EmulatedPeripheral {
 public:
  virtual ~EmulatedPeripheral() = default;

  // 12 lower-case hexadecimal digits.
  virtual std::string address() const = 0;
  virtual std::string name() const = 0;
  virtual std::vector<GattService> services() const = 0;
  virtual bool isLinkUp() const = 0;

  // Empty when the read fails at the air level (no link); a value may be longer than a host can take.
  virtual std::optional<std::vector<uint8_t>> read(const ble::Uuid& service, const ble::Uuid& characteristic) = 0;
  // False is the device's error answer to a write request.
  virtual bool write(const ble::Uuid& service, const ble::Uuid& characteristic, const std::vector<uint8_t>& data) = 0;
  // The host's write of the client characteristic configuration.
  virtual bool subscribe(const ble::Uuid& service, const ble::Uuid& characteristic, bool enable) = 0;

  // The radio registers itself when the peripheral is added; an expired listener silences the peripheral.
  virtual void attach(std::weak_ptr<PeripheralListener> listener) = 0;
};

}  // namespace trevalon::sim
