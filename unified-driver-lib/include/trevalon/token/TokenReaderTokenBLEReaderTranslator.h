// SPDX-License-Identifier: Apache-2.0
#pragma once

#include <chrono>
#include <functional>

#include "trevalon/common/Translator.h"
#include "trevalon/token/TokenBLEReader.h"
#include "trevalon/token/TokenReader.h"
#include "trevalon/token/TransmitResult.h"

namespace trevalon::token {

class TokenReaderTokenBLEReaderTranslator : public common::Translator<TokenReader, TokenBLEReader> {
 public:
  using Clock = std::function<std::chrono::system_clock::time_point()>;

  // Tests give a fixed clock; the reader is set to the system's time otherwise.
  explicit TokenReaderTokenBLEReaderTranslator(Clock clock = std::chrono::system_clock::now);

  std::string getFirmware() override;
  std::string getHardware() override;
  std::string getSerial() override;
  uint8_t getBatteryLevel() override;
  std::string getAddress() override;
  std::string getId() override;
  bool isConnected() override;
  bool isAvailable() override;
  bool isPaired() override;
  bool setPaired(bool paired) override;
  std::vector<uint8_t> resetCard() override;
  std::vector<uint8_t> sendAPDU(std::vector<uint8_t> apdu) override;
  bool setClock() override;
  bool setProtocol(uint32_t protocol) override;
  void unsetCard() override;

  void onAvailableChanged(bool available) override;
  void onConnectedChanged(bool connected) override;
  std::vector<uint8_t> onKeyRequested() override;

  // The text of a version byte: high nibble, a full stop, low nibble.
  static std::string versionText(uint8_t version);

 private:
  TransmitResult exchange(uint8_t function, const std::vector<uint8_t>& payload);
  std::string version(uint8_t function);

  const Clock clock;
};

}  // namespace trevalon::token
