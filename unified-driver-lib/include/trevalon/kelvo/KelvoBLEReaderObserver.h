// SPDX-License-Identifier: Apache-2.0
#pragma once

#include <cstdint>
#include <vector>

#include "trevalon/common/Shareable.h"

namespace trevalon::kelvo {

class KelvoBLEReaderObserver : public virtual common::Shareable {
 public:
  ~KelvoBLEReaderObserver() override = default;

  virtual void onActiveEncryptionChanged(uint8_t state) = 0;
  virtual void onConnectedChanged(bool connected) = 0;
  virtual void onAvailableChanged(bool available) = 0;
  virtual void onPairedChanged(bool paired) = 0;
  // An unsolicited notification: its id (1 to 7, or 255 for any other) and the bytes after it.
  virtual void notified(uint8_t id, std::vector<uint8_t> data) = 0;
  virtual void onEvent(uint32_t value) = 0;
};

}  // namespace trevalon::kelvo
