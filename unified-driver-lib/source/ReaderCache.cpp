// SPDX-License-Identifier: Apache-2.0
#include "trevalon/ReaderCache.h"

#include "trevalon/common/Log.h"
#include "trevalon/common/ScopeTrace.h"

namespace trevalon {
namespace {

constexpr uint8_t kUnknownByte = 0xFF;

}  // namespace

template <typename T, typename Read>
T ReaderCache::cached(std::optional<T> Values::*slot, Read read) {
  {
    std::lock_guard<std::mutex> guard(valuesLock);
    if (values.*slot) return *(values.*slot);
  }
  T answer = read();
  std::lock_guard<std::mutex> guard(valuesLock);
  if (!(values.*slot)) values.*slot = std::move(answer);
  return *(values.*slot);
}

template <typename T, typename WriteBelow>
ReaderCache::Write ReaderCache::written(std::optional<T> Values::*slot, const T& value, WriteBelow write) {
  {
    std::lock_guard<std::mutex> guard(valuesLock);
    if (values.*slot == value) return Write::unchanged;
  }
  if (!write()) return Write::refused;
  std::lock_guard<std::mutex> guard(valuesLock);
  values.*slot = value;
  return Write::written;
}

template <typename T>
bool ReaderCache::learned(std::optional<T> Values::*slot, const T& value) {
  std::lock_guard<std::mutex> guard(valuesLock);
  if (values.*slot == value) return false;
  values.*slot = value;
  return true;
}

void ReaderCache::passUpIfNew(std::optional<uint8_t> Values::*slot, uint8_t value,
                              void (DeviceObserver::*event)(uint8_t)) {
  if (learned(slot, value)) notifyDevice(event, value);
}

void ReaderCache::passUpIfNew(std::optional<bool> Values::*slot, bool value, void (DeviceObserver::*event)(bool)) {
  if (learned(slot, value)) notifyDevice(event, value);
}

#define TREVALON_CACHED(slot, fallback, call)  \
  cached(&Values::slot, [this] {               \
    std::shared_ptr<Reader> reader = lower();  \
    return reader ? reader->call : (fallback); \
  })

std::string ReaderCache::getVendor() {
  TREVALON_TRACE_QUIET();
  return TREVALON_CACHED(vendor, std::string(), getVendor());
}

std::string ReaderCache::getModel() {
  TREVALON_TRACE_QUIET();
  return TREVALON_CACHED(model, std::string(), getModel());
}

std::string ReaderCache::getSerial() {
  TREVALON_TRACE_QUIET();
  return TREVALON_CACHED(serial, std::string(), getSerial());
}

std::string ReaderCache::getFirmware() {
  TREVALON_TRACE_QUIET();
  return TREVALON_CACHED(firmware, std::string(), getFirmware());
}

std::string ReaderCache::getHardware() {
  TREVALON_TRACE_QUIET();
  return TREVALON_CACHED(hardware, std::string(), getHardware());
}

std::string ReaderCache::getBuild() {
  TREVALON_TRACE_QUIET();
  return TREVALON_CACHED(build, std::string(), getBuild());
}

uint8_t ReaderCache::getBatteryLevel() {
  TREVALON_TRACE_QUIET();
  return TREVALON_CACHED(batteryLevel, kUnknownByte, getBatteryLevel());
}

uint8_t ReaderCache::getUsbCableStatus() {
  TREVALON_TRACE_QUIET();
  return TREVALON_CACHED(usbCableStatus, kUnknownByte, getUsbCableStatus());
}

uint8_t ReaderCache::getEncryption() {
  TREVALON_TRACE_QUIET();
  return TREVALON_CACHED(encryption, kUnknownByte, getEncryption());
}

uint8_t ReaderCache::getAdvertisingMode() {
  TREVALON_TRACE_QUIET();
  return TREVALON_CACHED(advertisingMode, kUnknownByte, getAdvertisingMode());
}

uint8_t ReaderCache::getBuzzerMode() {
  TREVALON_TRACE_QUIET();
  return TREVALON_CACHED(buzzerMode, kUnknownByte, getBuzzerMode());
}

uint8_t ReaderCache::getSignalStrength() {
  TREVALON_TRACE_QUIET();
  return TREVALON_CACHED(signalStrength, kUnknownByte, getSignalStrength());
}

uint8_t ReaderCache::getBackLight() {
  TREVALON_TRACE_QUIET();
  return TREVALON_CACHED(backLight, kUnknownByte, getBackLight());
}

uint8_t ReaderCache::getDisplayMode() {
  TREVALON_TRACE_QUIET();
  return TREVALON_CACHED(displayMode, kUnknownByte, getDisplayMode());
}

uint8_t ReaderCache::getRssiMinValue() {
  TREVALON_TRACE_QUIET();
  return TREVALON_CACHED(rssiMinValue, kUnknownByte, getRssiMinValue());
}

kelvo::WorkingTimeRanges ReaderCache::getWorkingTimeRanges() {
  TREVALON_TRACE_QUIET();
  return TREVALON_CACHED(ranges, kelvo::WorkingTimeRanges::zero(), getWorkingTimeRanges());
}

std::string ReaderCache::getAddress() {
  TREVALON_TRACE_QUIET();
  return TREVALON_CACHED(address, std::string(), getAddress());
}

std::string ReaderCache::getId() {
  TREVALON_TRACE_QUIET();
  return TREVALON_CACHED(id, std::string(), getId());
}

bool ReaderCache::isConnected() {
  TREVALON_TRACE_QUIET();
  return TREVALON_CACHED(connected, false, isConnected());
}

bool ReaderCache::isAvailable() {
  TREVALON_TRACE_QUIET();
  return TREVALON_CACHED(available, false, isAvailable());
}

bool ReaderCache::isPaired() {
  TREVALON_TRACE_QUIET();
  return TREVALON_CACHED(paired, false, isPaired());
}

std::list<std::string> ReaderCache::getBonded() {
  TREVALON_TRACE_QUIET();
  return TREVALON_CACHED(bonded, std::list<std::string>(), getBonded());
}

std::string ReaderCache::getPrefered() {
  TREVALON_TRACE_QUIET();
  return TREVALON_CACHED(prefered, std::string(), getPrefered());
}

CardState ReaderCache::getState() {
  TREVALON_TRACE_QUIET();
  return TREVALON_CACHED(state, static_cast<CardState>(kCardUnknown), getState());
}

std::vector<uint8_t> ReaderCache::getAtr() {
  TREVALON_TRACE_QUIET();
  return TREVALON_CACHED(atr, std::vector<uint8_t>(), getAtr());
}

uint32_t ReaderCache::getProtocol() {
  TREVALON_TRACE_QUIET();
  return TREVALON_CACHED(protocol, static_cast<uint32_t>(kProtocolNone), getProtocol());
}

#undef TREVALON_CACHED

#define TREVALON_WRITTEN_EVENT(slot, value, call, event)                        \
  do {                                                                          \
    const Write outcome = written(&Values::slot, value, [&] {                   \
      std::shared_ptr<Reader> reader = lower();                                 \
      return reader && reader->call(value);                                     \
    });                                                                         \
    if (outcome == Write::written) notifyDevice(&DeviceObserver::event, value); \
    return outcome != Write::refused;                                           \
  } while (false)

bool ReaderCache::setAdvertisingMode(uint8_t mode) {
  TREVALON_TRACE_QUIET();
  TREVALON_WRITTEN_EVENT(advertisingMode, mode, setAdvertisingMode, onAdvertisingModeChanged);
}

bool ReaderCache::setBuzzerMode(uint8_t mode) {
  TREVALON_TRACE_QUIET();
  TREVALON_WRITTEN_EVENT(buzzerMode, mode, setBuzzerMode, onBuzzerModeChanged);
}

bool ReaderCache::setSignalStrength(uint8_t strength) {
  TREVALON_TRACE_QUIET();
  TREVALON_WRITTEN_EVENT(signalStrength, strength, setSignalStrength, onSignalStrengthChanged);
}

bool ReaderCache::setBackLight(uint8_t value) {
  TREVALON_TRACE_QUIET();
  TREVALON_WRITTEN_EVENT(backLight, value, setBackLight, onBackLightChanged);
}

bool ReaderCache::setDisplayMode(uint8_t mode) {
  TREVALON_TRACE_QUIET();
  TREVALON_WRITTEN_EVENT(displayMode, mode, setDisplayMode, onDisplayModeChanged);
}

bool ReaderCache::setRssiMinValue(uint8_t value) {
  TREVALON_TRACE_QUIET();
  TREVALON_WRITTEN_EVENT(rssiMinValue, value, setRssiMinValue, onRssiMinValueChanged);
}

bool ReaderCache::setPaired(bool paired) {
  TREVALON_TRACE_QUIET();
  TREVALON_WRITTEN_EVENT(paired, paired, setPaired, onPairedChanged);
}

#undef TREVALON_WRITTEN_EVENT

bool ReaderCache::setWorkingTimeRanges(const kelvo::WorkingTimeRanges& ranges) {
  TREVALON_TRACE_QUIET();
  return written(&Values::ranges, ranges, [&] {
           std::shared_ptr<Reader> reader = lower();
           return reader && reader->setWorkingTimeRanges(ranges);
         }) != Write::refused;
}

bool ReaderCache::setPrefered(const std::string& name) {
  TREVALON_TRACE_QUIET();
  return written(&Values::prefered, name, [&] {
           std::shared_ptr<Reader> reader = lower();
           return reader && reader->setPrefered(name);
         }) != Write::refused;
}

bool ReaderCache::shutdown() {
  TREVALON_TRACE_QUIET();
  {
    std::lock_guard<std::mutex> guard(valuesLock);
    values.atr.reset();
    values.protocol.reset();
  }
  std::shared_ptr<Reader> reader = lower();
  return reader && reader->shutdown();
}

void ReaderCache::onBatteryLevelChanged(uint8_t level) {
  TREVALON_TRACE_QUIET();
  passUpIfNew(&Values::batteryLevel, level, &DeviceObserver::onBatteryLevelChanged);
}

void ReaderCache::onUsbCableStatusChanged(uint8_t status) {
  TREVALON_TRACE_QUIET();
  passUpIfNew(&Values::usbCableStatus, status, &DeviceObserver::onUsbCableStatusChanged);
}

void ReaderCache::onEncryptionChanged(uint8_t value) {
  TREVALON_TRACE_QUIET();
  passUpIfNew(&Values::encryption, value, &DeviceObserver::onEncryptionChanged);
}

void ReaderCache::onAdvertisingModeChanged(uint8_t mode) {
  TREVALON_TRACE_QUIET();
  passUpIfNew(&Values::advertisingMode, mode, &DeviceObserver::onAdvertisingModeChanged);
}

void ReaderCache::onBuzzerModeChanged(uint8_t mode) {
  TREVALON_TRACE_QUIET();
  passUpIfNew(&Values::buzzerMode, mode, &DeviceObserver::onBuzzerModeChanged);
}

void ReaderCache::onSignalStrengthChanged(uint8_t strength) {
  TREVALON_TRACE_QUIET();
  passUpIfNew(&Values::signalStrength, strength, &DeviceObserver::onSignalStrengthChanged);
}

void ReaderCache::onBackLightChanged(uint8_t value) {
  TREVALON_TRACE_QUIET();
  passUpIfNew(&Values::backLight, value, &DeviceObserver::onBackLightChanged);
}

void ReaderCache::onDisplayModeChanged(uint8_t mode) {
  TREVALON_TRACE_QUIET();
  passUpIfNew(&Values::displayMode, mode, &DeviceObserver::onDisplayModeChanged);
}

void ReaderCache::onRssiMinValueChanged(uint8_t value) {
  TREVALON_TRACE_QUIET();
  passUpIfNew(&Values::rssiMinValue, value, &DeviceObserver::onRssiMinValueChanged);
}

void ReaderCache::onAvailableChanged(bool available) {
  TREVALON_TRACE_QUIET();
  passUpIfNew(&Values::available, available, &DeviceObserver::onAvailableChanged);
}

void ReaderCache::onPairedChanged(bool paired) {
  TREVALON_TRACE_QUIET();
  passUpIfNew(&Values::paired, paired, &DeviceObserver::onPairedChanged);
}

void ReaderCache::onConnectedChanged(bool connected) {
  TREVALON_TRACE_ARGS(connected ? "true" : "false");
  {
    std::lock_guard<std::mutex> guard(valuesLock);
    values = Values{};
    values.connected = connected;
  }
  notifyDevice(&DeviceObserver::onConnectedChanged, connected);
}

void ReaderCache::onStateChanged(CardState state) {
  TREVALON_TRACE_QUIET();
  bool changed;
  {
    std::lock_guard<std::mutex> guard(valuesLock);
    changed = values.state != state;
    values.state = state;
    // A card that left or is not identified takes its ATR along: a card inserted later has its own.
    if (changed && (state == kCardUnknown || state == kCardAbsent || state == kCardUnidentified)) {
      values.atr.reset();
      values.protocol.reset();
    }
  }
  if (changed) notifySlot(&SlotObserver::onStateChanged, state);
}

void ReaderCache::onProtocolChanged(uint32_t protocol) {
  TREVALON_TRACE_QUIET();
  if (learned(&Values::protocol, protocol)) notifyCard(&CardObserver::onProtocolChanged, protocol);
}

}  // namespace trevalon
