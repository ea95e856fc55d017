// SPDX-License-Identifier: Apache-2.0
#pragma once

#include <cstdint>

#include "trevalon/common/Shareable.h"

namespace trevalon::kelvo {

class KelvoReaderObserver : public virtual common::Shareable {
 public:
  ~KelvoReaderObserver() override = default;

  virtual void onSettingChanged(uint8_t id, uint8_t value) = 0;
  virtual void onCardStatusChanged(uint8_t status) = 0;
  virtual void onBatteryLevelChanged(uint8_t level) = 0;
  virtual void onUsbCableStatusChanged(uint8_t status) = 0;
  virtual void onAvailableChanged(bool available) = 0;
  virtual void onConnectedChanged(bool connected) = 0;
  virtual void onPairedChanged(bool paired) = 0;
  virtual void onEncryptionChanged(uint8_t value) = 0;
  virtual void onEvent(uint32_t value) = 0;
};

}  // namespace trevalon::kelvo
