// SPDX-License-Identifier: Apache-2.0
#pragma once
// The Pentaloq characteristics on the synchronous reader. Notifications of 'output' are enabled whenever the
// reader becomes available and again on every new link (a link that was dropped lost its subscription).

#include <chrono>

#include "trevalon/ble/BLEReader.h"
#include "trevalon/common/Translator.h"
#include "trevalon/token/TokenBLECharacteristics.h"

namespace trevalon::token {

class TokenBLECharacteristicsBLEReaderTranslator : public common::Translator<TokenBLECharacteristics, ble::BLEReader> {
 public:
  static constexpr std::chrono::seconds kDefaultTimeout = std::chrono::seconds(30);

  explicit TokenBLECharacteristicsBLEReaderTranslator(std::chrono::seconds timeout = kDefaultTimeout);

  std::string getAddress() override;
  std::string getId() override;
  bool isConnected() override;
  bool isAvailable() override;
  bool isPaired() override;
  bool setPaired(bool paired) override;
  std::vector<uint8_t> receive() override;
  bool transmit(std::vector<uint8_t> chunk) override;
  void discardReceived() override;

  void onConnectedChanged(bool connected) override;
  void onAvailableChanged(bool available) override;
  void onPairedChanged(bool paired) override;
  void onNotified(ble::Uuid service, ble::Uuid characteristic, std::vector<uint8_t> data) override;
  void onEvent(uint32_t value) override;

 private:
  static void configure(const std::shared_ptr<ble::BLEReader>& reader);

  const std::chrono::seconds timeout;
};

}  // namespace trevalon::token
