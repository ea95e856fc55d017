// SPDX-License-Identifier: Apache-2.0
#pragma once
// The GATT layout an emulated peripheral offers: services with characteristics and their properties.

#include <optional>
#include <vector>

#include "trevalon/ble/Uuid.h"

namespace trevalon::sim {

struct GattCharacteristic {
  ble::Uuid uuid;
  bool readable = false;
  bool writable = false;
  bool notifiable = false;
};

struct GattService {
  ble::Uuid uuid;
  std::vector<GattCharacteristic> characteristics;

  std::optional<GattCharacteristic> find(const ble::Uuid& characteristic) const {
    for (const GattCharacteristic& candidate : characteristics) {
      if (candidate.uuid == characteristic) return candidate;
    }
    return std::nullopt;
  }
};

}  // namespace trevalon::sim
