// SPDX-License-Identifier: Apache-2.0
#pragma once
// What a native reader tells the layer above. Results of reads and writes come here rather than as return
// values, because on every platform they are asynchronous at heart.

#include <cstdint>
#include <vector>

#include "trevalon/ble/Uuid.h"
#include "trevalon/common/Shareable.h"

namespace trevalon::ble {

class BLEReaderNativeObserver : public virtual common::Shareable {
 public:
  ~BLEReaderNativeObserver() override = default;

  virtual void onAvailableChanged(bool available) = 0;
  virtual void onConnectedChanged(bool connected) = 0;
  virtual void onPairedChanged(bool paired) = 0;
  // `data` is empty when the read failed.
  virtual void onCharacteristicRead(Uuid service, Uuid characteristic, std::vector<uint8_t> data) = 0;
  virtual void onCharacteristicWritten(Uuid service, Uuid characteristic, bool success) = 0;
  // A notification of the device.
  virtual void onCharacteristicChanged(Uuid service, Uuid characteristic, std::vector<uint8_t> data) = 0;
};

}  // namespace trevalon::ble
