// SPDX-License-Identifier: Apache-2.0
#pragma once
// The two characteristics of a Pentaloq reader: requests go out as chunks on 'input', answers come back as
// notifications of 'output'.

#include <cstdint>
#include <string>
#include <vector>

#include "trevalon/ble/ReaderServiceUuids.h"
#include "trevalon/ble/Uuid.h"
#include "trevalon/common/Observee.h"
#include "trevalon/token/TokenBLECharacteristicsObserver.h"

namespace trevalon::token {

class TokenBLECharacteristics : public common::Observee<TokenBLECharacteristicsObserver> {
 public:
  using Observer = TokenBLECharacteristicsObserver;

  static inline const ble::Uuid kService = ble::kPentaloqService;
  // 563e2883-5c3a-41da-8e02-15640ae703e6
  static inline const ble::Uuid kInput =
      ble::Uuid({0x56, 0x3e, 0x28, 0x83, 0x5c, 0x3a, 0x41, 0xda, 0x8e, 0x02, 0x15, 0x64, 0x0a, 0xe7, 0x03, 0xe6});
  // 5609a734-12c2-49e9-9edd-6eba3fdedc92
  static inline const ble::Uuid kOutput =
      ble::Uuid({0x56, 0x09, 0xa7, 0x34, 0x12, 0xc2, 0x49, 0xe9, 0x9e, 0xdd, 0x6e, 0xba, 0x3f, 0xde, 0xdc, 0x92});

  ~TokenBLECharacteristics() override = default;

  virtual std::string getAddress() = 0;
  virtual std::string getId() = 0;
  virtual bool isConnected() = 0;
  virtual bool isAvailable() = 0;
  virtual bool isPaired() = 0;
  virtual bool setPaired(bool paired) = 0;
  // The next notification of 'output'; empty when none came within the time-out.
  virtual std::vector<uint8_t> receive() = 0;
  virtual bool transmit(std::vector<uint8_t> chunk) = 0;
  // Drops notifications still queued from an earlier answer (one that came after its time-out), so that
  // they cannot be taken for packets of the next answer.
  virtual void discardReceived() = 0;
};

}  // namespace trevalon::token
