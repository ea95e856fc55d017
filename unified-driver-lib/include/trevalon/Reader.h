// SPDX-License-Identifier: Apache-2.0
#pragma once
// Any smart-card reader, whatever its family: a device, its one slot and the card in it, all in one object.
// Reader::create turns a Bluetooth LE device into a full reader stack of the family its GATT service names.

#include <chrono>
#include <cstdint>
#include <functional>
#include <list>
#include <memory>
#include <string>
#include <utility>

#include "trevalon/Card.h"
#include "trevalon/Device.h"
#include "trevalon/ReaderObserver.h"
#include "trevalon/Slot.h"
#include "trevalon/ble/BLEReaderNative.h"
#include "trevalon/common/ProviderTranslatorFunctional.h"

namespace trevalon {

class Reader : public Device, public Slot, public Card {
 public:
  using Observer = ReaderObserver;

  // The periods of a stack's timers; tests shorten them.
  struct StackOptions {
    int64_t cardIdlePeriodMs = 60000;                                     // an unused card is powered down after this
    std::chrono::milliseconds linkIdlePeriod = std::chrono::seconds(60);  // an unused link is dropped after this
    std::chrono::seconds characteristicTimeout = std::chrono::seconds(30);
  };

  using DeviceProvider =
      common::ProviderTranslatorFunctional<std::shared_ptr<ble::BLEReaderNative>, std::shared_ptr<Device>>;

  ~Reader() override = default;

  // Empty when the device offers the service of no known reader family.
  static std::shared_ptr<Reader> create(const std::shared_ptr<ble::BLEReaderNative>& native);
  static std::shared_ptr<Reader> create(const std::shared_ptr<ble::BLEReaderNative>& native,
                                        const StackOptions& options);
  // The link of the discovery chain that builds a device from each native reader found.
  static std::shared_ptr<DeviceProvider> createDeviceProvider();
  static std::shared_ptr<DeviceProvider> createDeviceProvider(const StackOptions& options);

  // The reader families this library speaks; known from the service the reader was found by, so asking costs no
  // radio traffic.
  enum class Family { kKelvo, kPentaloq };

  virtual std::string getId() = 0;
  virtual Family getFamily() = 0;
  // One observer on all three lists: device, slot and card.
  virtual void addObserver(const std::shared_ptr<ReaderObserver>& observer);
  virtual void removeObserver(const std::shared_ptr<ReaderObserver>& observer);

  // The reader is its own one slot.
  std::list<std::shared_ptr<Slot>> getSlots() override;
  // The reader is its own card in the states where a card can be talked to.
  std::shared_ptr<Card> getCard() override;

  static bool offersCard(CardState state);

 protected:
  template <typename... Args>
  void notifyDevice(Args&&... args) {
    Device::notifyObservers(std::forward<Args>(args)...);
  }
  template <typename... Args>
  void notifySlot(Args&&... args) {
    Slot::notifyObservers(std::forward<Args>(args)...);
  }
  template <typename... Args>
  void notifyCard(Args&&... args) {
    Card::notifyObservers(std::forward<Args>(args)...);
  }
  std::vector<uint8_t> askForKey() { return Device::callObserver(&DeviceObserver::onKeyRequested); }
};

}  // namespace trevalon
