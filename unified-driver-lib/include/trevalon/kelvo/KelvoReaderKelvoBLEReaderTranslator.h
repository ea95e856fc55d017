// SPDX-License-Identifier: Apache-2.0
#pragma once
// The reader functions over the (encrypted) RPC transport. Caches what the reader reports, reloads it when the
// reader becomes available and forgets it when the reader goes away.

#include <ctime>
#include <map>
#include <mutex>

#include "trevalon/common/Translator.h"
#include "trevalon/kelvo/KelvoBLEReader.h"
#include "trevalon/kelvo/KelvoReader.h"

namespace trevalon::kelvo {

class KelvoReaderKelvoBLEReaderTranslator : public common::Translator<KelvoReader, KelvoBLEReader> {
 public:
  static constexpr size_t kFlashChunk = 2000;

  uint8_t getSetting(uint8_t id) override;
  bool setSetting(uint8_t id, uint8_t value) override;
  std::string getDescriptor(const std::string& key) override;
  std::vector<uint8_t> getMethods() override;
  WorkingTimeRanges getWorkingTimeRanges() override;
  bool setWorkingTimeRanges(const WorkingTimeRanges& ranges) override;
  uint8_t getCardStatus() override;
  uint8_t getBatteryLevel() override;
  uint8_t getUsbCableStatus() override;
  std::string getId() override;
  std::string getAddress() override;
  bool isAvailable() override;
  bool isConnected() override;
  std::list<std::string> getBonded() override;
  std::string getPrefered() override;
  bool isPaired() override;
  bool setPaired(bool paired) override;
  TransmitResult command(uint8_t kind, const std::vector<uint8_t>& data) override;
  bool eraseBond(const std::string& name) override;
  bool forceBootMode() override;
  bool stateQuery() override;
  bool setClientName(const std::string& name) override;
  bool setLocalTime() override;
  bool writeExternalFlash(const std::vector<uint8_t>& data) override;

  void onActiveEncryptionChanged(uint8_t state) override;
  void onConnectedChanged(bool connected) override;
  void onAvailableChanged(bool available) override;
  void onPairedChanged(bool paired) override;
  void notified(uint8_t id, std::vector<uint8_t> data) override;
  void onEvent(uint32_t value) override;

  // Minute of the week counted from Sunday 00:00 (0 to 10079).
  static uint16_t minuteOfWeek(const std::tm& localTime);
  // Card states other than absent, present and ready count as unknown.
  static uint8_t cardStatusOf(uint8_t reported);

 private:
  TransmitResult call(uint8_t method, const std::vector<uint8_t>& payload);
  bool loadDescriptor();
  bool loadSettings();
  bool loadDeviceState();
  bool loadBonded();
  void loadBondedIfUnknown();
  void resetCache();
  bool storeSetting(uint8_t id, uint8_t value);

  std::mutex cacheLock;
  uint8_t usbCableStatus = 0xFF;
  uint8_t cardStatus = kCardUnknown;
  uint8_t batteryLevel = 0xFF;
  std::map<uint8_t, uint8_t> settings;
  std::map<uint8_t, std::string> bonded;
  uint8_t preferred = 0xFF;
  std::map<std::string, std::string> descriptor;
  std::vector<uint8_t> methods;
};

}  // namespace trevalon::kelvo
