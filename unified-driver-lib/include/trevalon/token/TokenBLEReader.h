// SPDX-License-Identifier: Apache-2.0
#pragma once
// One Pentaloq exchange: a framed request (function code, payload length, payload, CRC-8) and the framed
// answer (function code, length, result code and data, CRC-8). transmit frames and checks; it always goes
// through the object's own transmitRaw, so that on the encryption proxy the frame travels encrypted.

#include <cstdint>
#include <string>
#include <vector>

#include "trevalon/common/Observee.h"
#include "trevalon/token/TokenBLEReaderObserver.h"
#include "trevalon/token/TransmitResult.h"

namespace trevalon::token {

class TokenBLEReader : public common::Observee<TokenBLEReaderObserver> {
 public:
  using Observer = TokenBLEReaderObserver;

  // Result codes above this one are no codes of the reader.
  static constexpr uint8_t kHighestResultCode = 13;

  ~TokenBLEReader() override = default;

  virtual std::string getAddress() = 0;
  virtual std::string getId() = 0;
  virtual bool isConnected() = 0;
  virtual bool isAvailable() = 0;
  virtual bool isPaired() = 0;
  virtual bool setPaired(bool paired) = 0;
  // One request and its whole answer as raw bytes; `encrypt` asks the encryption proxy to seal both.
  virtual std::vector<uint8_t> transmitRaw(std::vector<uint8_t> request, bool encrypt) = 0;

  TransmitResult transmit(uint8_t function, const std::vector<uint8_t>& payload, bool encrypt);
  // Asks the observers for a short key; throws when none of them gives one.
  std::vector<uint8_t> requestKey();

  // Empty when the payload is too long for the length field.
  static std::vector<uint8_t> frame(uint8_t function, const std::vector<uint8_t>& payload);
  // The answer to a request of `function`, checked; code 0xFF and no data when it is not one.
  static TransmitResult parseAnswer(uint8_t function, const std::vector<uint8_t>& answer);
};

}  // namespace trevalon::token
