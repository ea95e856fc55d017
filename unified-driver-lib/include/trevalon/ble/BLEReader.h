// SPDX-License-Identifier: Apache-2.0
#pragma once
// GATT with blocking calls: read, write and wait return the data or the result within a time-out. A pair
// (service, characteristic) must be configured with setRead / setWrite / setWait before it is used.

#include <chrono>
#include <cstdint>
#include <string>
#include <vector>

#include "trevalon/ble/BLEReaderObserver.h"
#include "trevalon/ble/Uuid.h"
#include "trevalon/common/Observee.h"

namespace trevalon::ble {

class BLEReader : public common::Observee<BLEReaderObserver> {
 public:
  using Observer = BLEReaderObserver;
  ~BLEReader() override = default;

  virtual bool isConnected() = 0;
  virtual bool isAvailable() = 0;
  virtual bool isPaired() = 0;
  virtual bool setPaired(bool paired) = 0;
  virtual bool unregisterCharacteristic(Uuid service, Uuid characteristic) = 0;
  virtual std::string getAddress() = 0;
  virtual std::string getId() = 0;
  virtual std::string getName() = 0;
  virtual bool hasService(Uuid service, std::vector<Uuid> characteristics) = 0;
  virtual std::vector<uint8_t> read(Uuid service, Uuid characteristic, std::chrono::seconds timeout) = 0;
  virtual bool registerCharacteristic(Uuid service, Uuid characteristic) = 0;
  virtual void setRead(Uuid service, Uuid characteristic) = 0;
  virtual void setWait(Uuid service, Uuid characteristic) = 0;
  virtual void setWrite(Uuid service, Uuid characteristic) = 0;
  virtual std::vector<uint8_t> wait(Uuid service, Uuid characteristic, std::chrono::milliseconds timeout) = 0;
  virtual bool write(Uuid service, Uuid characteristic, std::vector<uint8_t> data, std::chrono::seconds timeout) = 0;
};

}  // namespace trevalon::ble
