// SPDX-License-Identifier: Apache-2.0
#pragma once
// The functions of a Pentaloq reader, each one encrypted exchange. Failures give the empty text, 0xFF, false
// or no bytes.

#include <cstdint>
#include <string>
#include <vector>

#include "trevalon/common/Observee.h"
#include "trevalon/token/TokenReaderObserver.h"

namespace trevalon::token {

class TokenReader : public common::Observee<TokenReaderObserver> {
 public:
  using Observer = TokenReaderObserver;
  ~TokenReader() override = default;

  // "major.minor" from the reader's version byte.
  virtual std::string getFirmware() = 0;
  virtual std::string getHardware() = 0;
  virtual std::string getSerial() = 0;
  // 0 to 100, or 0xFF.
  virtual uint8_t getBatteryLevel() = 0;
  virtual std::string getAddress() = 0;
  virtual std::string getId() = 0;
  virtual bool isConnected() = 0;
  virtual bool isAvailable() = 0;
  virtual bool isPaired() = 0;
  virtual bool setPaired(bool paired) = 0;
  // Powers the card up; its answer to reset.
  virtual std::vector<uint8_t> resetCard() = 0;
  virtual std::vector<uint8_t> sendAPDU(std::vector<uint8_t> apdu) = 0;
  virtual bool setClock() = 0;
  // A PC/SC protocol number: T=0, T=1, either, or the default.
  virtual bool setProtocol(uint32_t protocol) = 0;
  virtual void unsetCard() = 0;
};

}  // namespace trevalon::token
