// SPDX-License-Identifier: Apache-2.0
#pragma once
// A Kelvo reader seen as a generic reader: settings mapped to the generic value domains, card statuses to card
// states, the serial number remembered for when the reader is out of reach, and the workstation's name and
// clock given to the reader each time it becomes available.

#include <atomic>
#include <mutex>
#include <optional>

#include "trevalon/Reader.h"
#include "trevalon/common/Translator.h"
#include "trevalon/kelvo/KelvoReader.h"

namespace trevalon {

class ReaderKelvoReaderTranslator : public common::Translator<Reader, kelvo::KelvoReader> {
 public:
  // Reader setting ids.
  enum SettingId : uint8_t {
    kSignalStrength = 1,
    kAdvertisingMode = 2,
    kDisplayMode = 3,
    kBackLight = 4,
    kBuzzerMode = 6,
    kRssiMinValue = 8,
  };
  // Smart-card command kinds.
  enum CardCommand : uint8_t {
    kReset = 1,
    kShutdown = 4,
    kApdu = 5,
  };

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

  void onSettingChanged(uint8_t id, uint8_t value) override;
  void onCardStatusChanged(uint8_t status) override;
  void onBatteryLevelChanged(uint8_t level) override;
  void onUsbCableStatusChanged(uint8_t status) override;
  void onAvailableChanged(bool available) override;
  void onConnectedChanged(bool connected) override;
  void onPairedChanged(bool paired) override;
  void onEncryptionChanged(uint8_t value) override;
  void onEvent(uint32_t value) override;

  // A setting value outside the generic domain of its id becomes 0xFF.
  static uint8_t filterSetting(uint8_t id, uint8_t value);
  // The card state a Kelvo card status stands for; empty for a status that stands for none.
  static std::optional<CardState> cardStateOf(uint8_t status);

 private:
  std::shared_ptr<kelvo::KelvoReader> lower();
  uint8_t setting(uint8_t id);
  bool changeSetting(uint8_t id, uint8_t value);
  void refreshCardStatus();
  void scheduleCardStatusRefresh();

  // Whether availability has been announced upwards; a connection that comes back while it holds needs the
  // card status asked again, as no availability change will bring it.
  std::atomic<bool> announcedAvailable{false};
  // At most one refresh thread at a time: whether it runs, and whether a reconnection came while it ran.
  std::mutex refreshLock;
  bool refreshRunning = false;
  bool refreshAgain = false;
};

}  // namespace trevalon
