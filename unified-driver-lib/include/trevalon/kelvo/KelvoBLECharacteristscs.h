// SPDX-License-Identifier: Apache-2.0
#pragma once
// The reader's characteristics by role, each with its one operation.

#include <chrono>
#include <cstdint>
#include <string>
#include <vector>

#include "trevalon/ble/ReaderServiceUuids.h"
#include "trevalon/common/Observee.h"
#include "trevalon/kelvo/KelvoBLECharacteristscsObserver.h"

namespace trevalon::kelvo {

class KelvoBLECharacteristscs : public common::Observee<KelvoBLECharacteristscsObserver> {
 public:
  using Observer = KelvoBLECharacteristscsObserver;

  static inline const ble::Uuid kPrepare = ble::shortUuid(0x0001);
  static inline const ble::Uuid kInput = ble::shortUuid(0x0002);
  static inline const ble::Uuid kProcess2 = ble::shortUuid(0x0003);
  static inline const ble::Uuid kOutput2 = ble::shortUuid(0x0004);
  static inline const ble::Uuid kSpareWrite = ble::shortUuid(0x0005);
  static inline const ble::Uuid kSpareRead = ble::shortUuid(0x0006);
  static inline const ble::Uuid kTransmit = ble::shortUuid(0x0007);
  static inline const ble::Uuid kNotification = ble::shortUuid(0x0008);
  static inline const ble::Uuid kIndicate = ble::shortUuid(0x0009);

  ~KelvoBLECharacteristscs() override = default;

  virtual std::string getAddress() = 0;
  virtual std::string getId() = 0;
  virtual bool isConnected() = 0;
  virtual bool isAvailable() = 0;
  virtual bool isPaired() = 0;
  virtual bool setPaired(bool paired) = 0;
  virtual bool writeIndicate(std::vector<uint8_t> data) = 0;
  virtual bool writeInput(std::vector<uint8_t> data) = 0;
  virtual std::vector<uint8_t> waitOutput2() = 0;
  // The same within `limit`, never longer than the characteristic's own time-out.
  virtual std::vector<uint8_t> waitOutput2(std::chrono::milliseconds limit) = 0;
  virtual bool writePrepare(std::vector<uint8_t> data) = 0;
  virtual std::vector<uint8_t> readProcess2() = 0;
  virtual std::vector<uint8_t> readSpare() = 0;
  virtual bool writeSpare(std::vector<uint8_t> data) = 0;
  virtual bool writeTransmit(std::vector<uint8_t> data) = 0;
  // Drops packages still queued on 'output2' from an earlier answer (a repeated or late package), so that
  // they cannot be taken for packages of the next answer.
  virtual void discardOutput2() = 0;
};

}  // namespace trevalon::kelvo
