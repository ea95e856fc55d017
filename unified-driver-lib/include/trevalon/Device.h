// SPDX-License-Identifier: Apache-2.0
#pragma once
// What the application manages for one reader: identity, battery, settings, bondings and connection. Reads
// answer the "unknown" value (0xFF, empty text) when the reader cannot tell; writes answer false.

#include <cstdint>
#include <list>
#include <memory>
#include <string>

#include "trevalon/DeviceObserver.h"
#include "trevalon/common/Observee.h"
#include "trevalon/kelvo/WorkingTimeRanges.h"

namespace trevalon {

class Slot;

class Device : public common::Observee<DeviceObserver> {
 public:
  using Observer = DeviceObserver;
  ~Device() override = default;

  virtual std::string getVendor() = 0;
  virtual std::string getModel() = 0;
  virtual std::string getSerial() = 0;
  virtual std::string getFirmware() = 0;
  virtual std::string getHardware() = 0;
  virtual std::string getBuild() = 0;
  virtual uint8_t getBatteryLevel() = 0;
  virtual uint8_t getUsbCableStatus() = 0;
  virtual uint8_t getEncryption() = 0;
  virtual uint8_t getAdvertisingMode() = 0;
  virtual bool setAdvertisingMode(uint8_t mode) = 0;
  virtual uint8_t getBuzzerMode() = 0;
  virtual bool setBuzzerMode(uint8_t mode) = 0;
  virtual uint8_t getSignalStrength() = 0;
  virtual bool setSignalStrength(uint8_t strength) = 0;
  virtual uint8_t getBackLight() = 0;
  virtual bool setBackLight(uint8_t value) = 0;
  virtual uint8_t getDisplayMode() = 0;
  virtual bool setDisplayMode(uint8_t mode) = 0;
  // A signed dBm value in its byte.
  virtual uint8_t getRssiMinValue() = 0;
  virtual bool setRssiMinValue(uint8_t value) = 0;
  virtual kelvo::WorkingTimeRanges getWorkingTimeRanges() = 0;
  virtual bool setWorkingTimeRanges(const kelvo::WorkingTimeRanges& ranges) = 0;
  virtual std::string getAddress() = 0;
  virtual bool isConnected() = 0;
  virtual bool isAvailable() = 0;
  virtual std::list<std::shared_ptr<Slot>> getSlots() = 0;
  virtual std::list<std::string> getBonded() = 0;
  virtual std::string getPrefered() = 0;
  virtual bool setPrefered(const std::string& name) = 0;
  virtual bool isPaired() = 0;
  virtual bool setPaired(bool paired) = 0;
  virtual bool eraseBond(const std::string& name) = 0;
  virtual bool forceBootMode() = 0;
  // The model, a blank, the serial number.
  virtual std::string getName();
  // Kept in the interface for readers that could answer it; every reader of this system answers false.
  virtual bool reservedQuery() = 0;
  virtual bool stateQuery() = 0;
};

}  // namespace trevalon
