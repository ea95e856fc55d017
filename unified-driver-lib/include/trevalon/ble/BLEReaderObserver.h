// SPDX-License-Identifier: Apache-2.0
#pragma once

#include <cstdint>
#include <vector>

#include "trevalon/ble/Uuid.h"
#include "trevalon/common/Shareable.h"

namespace trevalon::ble {

class BLEReaderObserver : public virtual common::Shareable {
 public:
  ~BLEReaderObserver() override = default;

  virtual void onConnectedChanged(bool connected) = 0;
  virtual void onAvailableChanged(bool available) = 0;
  virtual void onPairedChanged(bool paired) = 0;
  // A notification of a characteristic that nobody waits for.
  virtual void onNotified(Uuid service, Uuid characteristic, std::vector<uint8_t> data) = 0;
  // A 32-bit event that this layer never raises; the layers above pass it through.
  virtual void onEvent(uint32_t value) = 0;
};

}  // namespace trevalon::ble
