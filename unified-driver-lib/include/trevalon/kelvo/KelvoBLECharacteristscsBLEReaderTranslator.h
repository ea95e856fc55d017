// SPDX-License-Identifier: Apache-2.0
#pragma once
// The characteristics on the synchronous reader: configured on every connection change, notifications
// registered on connection and availability.

#include <chrono>

#include "trevalon/ble/BLEReader.h"
#include "trevalon/common/Translator.h"
#include "trevalon/kelvo/KelvoBLECharacteristscs.h"

namespace trevalon::kelvo {

class KelvoBLECharacteristscsBLEReaderTranslator : public common::Translator<KelvoBLECharacteristscs, ble::BLEReader> {
 public:
  static constexpr std::chrono::seconds kDefaultTimeout = std::chrono::seconds(30);

  explicit KelvoBLECharacteristscsBLEReaderTranslator(std::chrono::seconds timeout = kDefaultTimeout);

  std::string getAddress() override;
  std::string getId() override;
  bool isConnected() override;
  bool isAvailable() override;
  bool isPaired() override;
  bool setPaired(bool paired) override;
  bool writeIndicate(std::vector<uint8_t> data) override;
  bool writeInput(std::vector<uint8_t> data) override;
  std::vector<uint8_t> waitOutput2() override;
  std::vector<uint8_t> waitOutput2(std::chrono::milliseconds limit) override;
  bool writePrepare(std::vector<uint8_t> data) override;
  std::vector<uint8_t> readProcess2() override;
  std::vector<uint8_t> readSpare() override;
  bool writeSpare(std::vector<uint8_t> data) override;
  bool writeTransmit(std::vector<uint8_t> data) override;
  void discardOutput2() override;

  void onConnectedChanged(bool connected) override;
  void onAvailableChanged(bool available) override;
  void onPairedChanged(bool paired) override;
  void onNotified(ble::Uuid service, ble::Uuid characteristic, std::vector<uint8_t> data) override;
  void onEvent(uint32_t value) override;

 private:
  bool writeTo(const ble::Uuid& characteristic, std::vector<uint8_t> data);
  std::vector<uint8_t> readFrom(const ble::Uuid& characteristic);
  void configure(const std::shared_ptr<ble::BLEReader>& reader);

  const std::chrono::seconds timeout;
};

}  // namespace trevalon::kelvo
