// SPDX-License-Identifier: Apache-2.0
#pragma once
// What a Kelvo reader can do: descriptor, settings, device state, bondings, working times, clock, client
// name, external flash, boot mode and the smart-card channel.

#include <cstdint>
#include <list>
#include <string>
#include <vector>

#include "trevalon/common/Observee.h"
#include "trevalon/kelvo/KelvoReaderObserver.h"
#include "trevalon/kelvo/TransmitResult.h"
#include "trevalon/kelvo/WorkingTimeRanges.h"

namespace trevalon::kelvo {

class KelvoReader : public common::Observee<KelvoReaderObserver> {
 public:
  using Observer = KelvoReaderObserver;

  // Card states of a slot.
  static constexpr uint8_t kCardUnknown = 0;
  static constexpr uint8_t kCardAbsent = 1;
  static constexpr uint8_t kCardPresent = 2;
  static constexpr uint8_t kCardReady = 6;

  ~KelvoReader() override = default;

  virtual uint8_t getSetting(uint8_t id) = 0;
  virtual bool setSetting(uint8_t id, uint8_t value) = 0;
  virtual std::string getDescriptor(const std::string& key) = 0;
  virtual std::vector<uint8_t> getMethods() = 0;
  virtual WorkingTimeRanges getWorkingTimeRanges() = 0;
  virtual bool setWorkingTimeRanges(const WorkingTimeRanges& ranges) = 0;
  virtual uint8_t getCardStatus() = 0;
  virtual uint8_t getBatteryLevel() = 0;
  virtual uint8_t getUsbCableStatus() = 0;
  virtual std::string getId() = 0;
  virtual std::string getAddress() = 0;
  virtual bool isAvailable() = 0;
  virtual bool isConnected() = 0;
  virtual std::list<std::string> getBonded() = 0;
  virtual std::string getPrefered() = 0;
  virtual bool isPaired() = 0;
  virtual bool setPaired(bool paired) = 0;
  virtual TransmitResult command(uint8_t kind, const std::vector<uint8_t>& data) = 0;
  virtual bool eraseBond(const std::string& name) = 0;
  virtual bool forceBootMode() = 0;
  virtual bool stateQuery() = 0;
  virtual bool setClientName(const std::string& name) = 0;
  virtual bool setLocalTime() = 0;
  virtual bool writeExternalFlash(const std::vector<uint8_t>& data) = 0;
};

}  // namespace trevalon::kelvo
