// SPDX-License-Identifier: Apache-2.0
#pragma once
// A Pentaloq reader seen as a generic reader. It has none of the Kelvo settings (each read is 0xFF, each
// change false, without traffic). What the layers above call connected is the reader in range with its key
// set up: the availability of the reader below. Its link comes and goes with use, unseen above.

#include "trevalon/Reader.h"
#include "trevalon/common/Translator.h"
#include "trevalon/token/TokenReader.h"

namespace trevalon {

class ReaderTokenReaderTranslator : public common::Translator<Reader, token::TokenReader> {
 public:
  std::string getVendor() override;
  std::string getModel() override;
  std::string getSerial() override;
  std::string getFirmware() override;
  std::string getHardware() override;
  std::string getBuild() override;
  uint8_t getBatteryLevel() override;
  uint8_t getUsbCableStatus() override;
  uint8_t getEncryption() override;
  uint8_t getAdvertisingMode() override;
  bool setAdvertisingMode(uint8_t mode) override;
  uint8_t getBuzzerMode() override;
  bool setBuzzerMode(uint8_t mode) override;
  uint8_t getSignalStrength() override;
  bool setSignalStrength(uint8_t strength) override;
  uint8_t getBackLight() override;
  bool setBackLight(uint8_t value) override;
  uint8_t getDisplayMode() override;
  bool setDisplayMode(uint8_t mode) override;
  uint8_t getRssiMinValue() override;
  bool setRssiMinValue(uint8_t value) override;
  kelvo::WorkingTimeRanges getWorkingTimeRanges() override;
  bool setWorkingTimeRanges(const kelvo::WorkingTimeRanges& ranges) override;
  std::string getAddress() override;
  bool isConnected() override;
  bool isAvailable() override;
  std::list<std::string> getBonded() override;
  std::string getPrefered() override;
  bool setPrefered(const std::string& name) override;
  bool isPaired() override;
  bool setPaired(bool paired) override;
  bool eraseBond(const std::string& name) override;
  bool forceBootMode() override;
  bool reservedQuery() override;
  bool stateQuery() override;
  std::string getId() override;
  Family getFamily() override;

  // The card-state proxy above keeps the real state.
  CardState getState() override;

  std::vector<uint8_t> getAtr() override;
  uint32_t getProtocol() override;
  std::vector<uint8_t> sendAPDU(std::vector<uint8_t> apdu) override;
  bool setProtocol(uint32_t protocol) override;
  bool shutdown() override;

  void onAvailableChanged(bool available) override;
  void onConnectedChanged(bool connected) override;
  std::vector<uint8_t> onKeyRequested() override;

 private:
  std::shared_ptr<token::TokenReader> lower();
};

}  // namespace trevalon
