// SPDX-License-Identifier: Apache-2.0
#pragma once
// The lowest layer of a reader stack: one Bluetooth LE device seen as GATT services and characteristics.
// Every backend (the platform's radio or the simulated one) implements it with the same semantics:
// - a read delivers at most 24 value bytes; a longer value or a failed read is reported as empty data;
// - reads and writes check the characteristic's properties before anything goes on the air;
// - read and write results reach the observers before the call returns;
// - notifications arrive on a thread of the backend named "BLE_NOTIF";
// - availability follows the connected-address provider, matched against getAddress() byte for byte,
//   and the first successful notification registration.

#include <cstdint>
#include <string>
#include <vector>

#include "trevalon/ble/BLEReaderNativeObserver.h"
#include "trevalon/ble/Uuid.h"
#include "trevalon/common/Observee.h"

namespace trevalon::ble {

class BLEReaderNative : public common::Observee<BLEReaderNativeObserver> {
 public:
  using Observer = BLEReaderNativeObserver;

  // The largest value a read can deliver.
  static constexpr size_t kMaxReadLength = 24;

  ~BLEReaderNative() override = default;

  virtual bool isAvailable() = 0;
  virtual bool isConnected() = 0;
  virtual bool isPaired() = 0;
  virtual bool setPaired(bool paired) = 0;
  virtual bool connect() = 0;
  virtual bool unregisterCharacteristic(Uuid service, Uuid characteristic) = 0;
  virtual void disconnect() = 0;
  // 12 lower-case hexadecimal digits.
  virtual std::string getAddress() = 0;
  virtual std::string getId() = 0;
  virtual std::string getName() = 0;
  virtual bool hasService(Uuid service, std::vector<Uuid> characteristics) = 0;
  virtual void readCharacteristic(Uuid service, Uuid characteristic) = 0;
  virtual bool registerCharacteristic(Uuid service, Uuid characteristic) = 0;
  virtual void writeCharacteristic(Uuid service, Uuid characteristic, std::vector<uint8_t> data) = 0;
};

}  // namespace trevalon::ble
