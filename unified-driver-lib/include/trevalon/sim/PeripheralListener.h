// SPDX-License-Identifier: Apache-2.0
#pragma once
// How an emulated peripheral reaches the radio it is attached to: notifications of its characteristics and
// the state of its link. Implementations queue the events; a peripheral may call them while it holds its
// own locks.

#include <cstdint>
#include <string>
#include <vector>

#include "trevalon/ble/Uuid.h"

namespace trevalon::sim {

class PeripheralListener {
 public:
  virtual ~PeripheralListener() = default;
  virtual void onNotification(const std::string& address, const ble::Uuid& service, const ble::Uuid& characteristic,
                              std::vector<uint8_t> data) = 0;
  virtual void onLinkChanged(const std::string& address, bool up) = 0;
};

}  // namespace trevalon::sim
