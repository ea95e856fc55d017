// SPDX-License-Identifier: Apache-2.0
#pragma once

#include <cstdint>
#include <vector>

#include "trevalon/common/Shareable.h"

namespace trevalon::kelvo {

class KelvoBLECharacteristscsObserver : public virtual common::Shareable {
 public:
  ~KelvoBLECharacteristscsObserver() override = default;

  virtual void onConnectedChanged(bool connected) = 0;
  virtual void onAvailableChanged(bool available) = 0;
  virtual void onPairedChanged(bool paired) = 0;
  // A value of the notification characteristic.
  virtual void notified(std::vector<uint8_t> data) = 0;
  virtual void onEvent(uint32_t value) = 0;
};

}  // namespace trevalon::kelvo
