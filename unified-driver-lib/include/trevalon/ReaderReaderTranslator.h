// SPDX-License-Identifier: Apache-2.0
#pragma once
// A reader over a reader that passes every call down and every event up unchanged: the base of the generic
// layers (card-state proxy, cache), which override only what they change.

#include "trevalon/Reader.h"
#include "trevalon/common/Translator.h"

namespace trevalon {

class ReaderReaderTranslator : public common::Translator<Reader, Reader> {
 public:
  ~ReaderReaderTranslator() override = default;

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

  CardState getState() override;

  std::vector<uint8_t> getAtr() override;
  uint32_t getProtocol() override;
  std::vector<uint8_t> sendAPDU(std::vector<uint8_t> apdu) override;
  bool setProtocol(uint32_t protocol) override;
  bool shutdown() override;

  void onBatteryLevelChanged(uint8_t level) override;
  void onUsbCableStatusChanged(uint8_t status) override;
  void onEncryptionChanged(uint8_t value) override;
  void onAdvertisingModeChanged(uint8_t mode) override;
  void onBuzzerModeChanged(uint8_t mode) override;
  void onSignalStrengthChanged(uint8_t strength) override;
  void onBackLightChanged(uint8_t value) override;
  void onDisplayModeChanged(uint8_t mode) override;
  void onRssiMinValueChanged(uint8_t value) override;
  void onConnectedChanged(bool connected) override;
  void onAvailableChanged(bool available) override;
  void onPairedChanged(bool paired) override;
  std::vector<uint8_t> onKeyRequested() override;
  void onEvent(uint32_t value) override;
  void onStateChanged(CardState state) override;
  void onProtocolChanged(uint32_t protocol) override;

 protected:
  // The lower reader for one call; logs and gives an empty pointer when the layer is detached.
  std::shared_ptr<Reader> lower();
};

}  // namespace trevalon
