// SPDX-License-Identifier: Apache-2.0
#pragma once
// The top of every reader stack: remembers each value once read from below, answers later reads from memory,
// skips writes that change nothing and drops events that repeat a known value. A connection change empties
// it, so the first reads after reconnecting go to the reader again.

#include <list>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "trevalon/ReaderReaderTranslator.h"

namespace trevalon {

class ReaderCache : public ReaderReaderTranslator {
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
  std::string getId() override;

  CardState getState() override;

  std::vector<uint8_t> getAtr() override;
  uint32_t getProtocol() override;
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
  void onStateChanged(CardState state) override;
  void onProtocolChanged(uint32_t protocol) override;

 private:
  // One slot per value; empty means not known yet.
  struct Values {
    std::optional<std::string> vendor, model, serial, firmware, hardware, build, address, id, prefered;
    std::optional<uint8_t> batteryLevel, usbCableStatus, encryption;
    std::optional<uint8_t> advertisingMode, buzzerMode, signalStrength, backLight, displayMode, rssiMinValue;
    std::optional<kelvo::WorkingTimeRanges> ranges;
    std::optional<bool> connected, available, paired;
    std::optional<std::list<std::string>> bonded;
    std::optional<CardState> state;
    std::optional<std::vector<uint8_t>> atr;
    std::optional<uint32_t> protocol;
  };

  // The stored value, or the lower reader's answer stored now. The lower is asked without the lock held (its
  // events come back into this layer); the first answer stored wins, so every caller sees the same value.
  template <typename T, typename Read>
  T cached(std::optional<T> Values::*slot, Read read);
  enum class Write { unchanged, written, refused };
  // A write that would not change the known value is skipped; a successful one is stored.
  template <typename T, typename WriteBelow>
  Write written(std::optional<T> Values::*slot, const T& value, WriteBelow write);
  // Stores the value; true when it is new, so the event is to be passed up.
  template <typename T>
  bool learned(std::optional<T> Values::*slot, const T& value);
  void passUpIfNew(std::optional<uint8_t> Values::*slot, uint8_t value, void (DeviceObserver::*event)(uint8_t));
  void passUpIfNew(std::optional<bool> Values::*slot, bool value, void (DeviceObserver::*event)(bool));

  std::mutex valuesLock;
  Values values;
};

}  // namespace trevalon
