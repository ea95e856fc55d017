// SPDX-License-Identifier: Apache-2.0
#pragma once

#include <cstdint>
#include <vector>

#include "trevalon/common/Shareable.h"

namespace trevalon {

class DeviceObserver : public virtual common::Shareable {
 public:
  ~DeviceObserver() override = default;

  virtual void onBatteryLevelChanged(uint8_t level) = 0;
  virtual void onUsbCableStatusChanged(uint8_t status) = 0;
  virtual void onEncryptionChanged(uint8_t value) = 0;
  virtual void onAdvertisingModeChanged(uint8_t mode) = 0;
  virtual void onBuzzerModeChanged(uint8_t mode) = 0;
  virtual void onSignalStrengthChanged(uint8_t strength) = 0;
  virtual void onBackLightChanged(uint8_t value) = 0;
  virtual void onDisplayModeChanged(uint8_t mode) = 0;
  virtual void onRssiMinValueChanged(uint8_t value) = 0;
  virtual void onConnectedChanged(bool connected) = 0;
  virtual void onAvailableChanged(bool available) = 0;
  virtual void onPairedChanged(bool paired) = 0;
  // A request, not an event: an observer answers with a key or refuses by throwing (asked with callObserver).
  virtual std::vector<uint8_t> onKeyRequested() = 0;
  // Passed up unchanged from the BLE layer.
  virtual void onEvent(uint32_t value) = 0;
};

}  // namespace trevalon
