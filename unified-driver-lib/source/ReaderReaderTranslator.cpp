// SPDX-License-Identifier: Apache-2.0
#include "trevalon/ReaderReaderTranslator.h"

#include "trevalon/common/Log.h"
#include "trevalon/common/ScopeTrace.h"

namespace trevalon {
namespace {

constexpr uint8_t kUnknownByte = 0xFF;

}  // namespace

std::shared_ptr<Reader> ReaderReaderTranslator::lower() {
  std::shared_ptr<Reader> reader = getMaster();
  if (!reader) {
    TREVALON_LOG(error, "no reader below");
  }
  return reader;
}

std::string ReaderReaderTranslator::getVendor() {
  TREVALON_TRACE_QUIET();
  std::shared_ptr<Reader> reader = lower();
  return reader ? reader->getVendor() : std::string();
}

std::string ReaderReaderTranslator::getModel() {
  TREVALON_TRACE_QUIET();
  std::shared_ptr<Reader> reader = lower();
  return reader ? reader->getModel() : std::string();
}

std::string ReaderReaderTranslator::getSerial() {
  TREVALON_TRACE_QUIET();
  std::shared_ptr<Reader> reader = lower();
  return reader ? reader->getSerial() : std::string();
}

std::string ReaderReaderTranslator::getFirmware() {
  TREVALON_TRACE_QUIET();
  std::shared_ptr<Reader> reader = lower();
  return reader ? reader->getFirmware() : std::string();
}

std::string ReaderReaderTranslator::getHardware() {
  TREVALON_TRACE_QUIET();
  std::shared_ptr<Reader> reader = lower();
  return reader ? reader->getHardware() : std::string();
}

std::string ReaderReaderTranslator::getBuild() {
  TREVALON_TRACE_QUIET();
  std::shared_ptr<Reader> reader = lower();
  return reader ? reader->getBuild() : std::string();
}

uint8_t ReaderReaderTranslator::getBatteryLevel() {
  TREVALON_TRACE_QUIET();
  std::shared_ptr<Reader> reader = lower();
  return reader ? reader->getBatteryLevel() : kUnknownByte;
}

uint8_t ReaderReaderTranslator::getUsbCableStatus() {
  TREVALON_TRACE_QUIET();
  std::shared_ptr<Reader> reader = lower();
  return reader ? reader->getUsbCableStatus() : kUnknownByte;
}

uint8_t ReaderReaderTranslator::getEncryption() {
  TREVALON_TRACE_QUIET();
  std::shared_ptr<Reader> reader = lower();
  return reader ? reader->getEncryption() : kUnknownByte;
}

uint8_t ReaderReaderTranslator::getAdvertisingMode() {
  TREVALON_TRACE_QUIET();
  std::shared_ptr<Reader> reader = lower();
  return reader ? reader->getAdvertisingMode() : kUnknownByte;
}

bool ReaderReaderTranslator::setAdvertisingMode(uint8_t mode) {
  TREVALON_TRACE_QUIET();
  std::shared_ptr<Reader> reader = lower();
  return reader ? reader->setAdvertisingMode(mode) : false;
}

uint8_t ReaderReaderTranslator::getBuzzerMode() {
  TREVALON_TRACE_QUIET();
  std::shared_ptr<Reader> reader = lower();
  return reader ? reader->getBuzzerMode() : kUnknownByte;
}

bool ReaderReaderTranslator::setBuzzerMode(uint8_t mode) {
  TREVALON_TRACE_QUIET();
  std::shared_ptr<Reader> reader = lower();
  return reader ? reader->setBuzzerMode(mode) : false;
}

uint8_t ReaderReaderTranslator::getSignalStrength() {
  TREVALON_TRACE_QUIET();
  std::shared_ptr<Reader> reader = lower();
  return reader ? reader->getSignalStrength() : kUnknownByte;
}

bool ReaderReaderTranslator::setSignalStrength(uint8_t strength) {
  TREVALON_TRACE_QUIET();
  std::shared_ptr<Reader> reader = lower();
  return reader ? reader->setSignalStrength(strength) : false;
}

uint8_t ReaderReaderTranslator::getBackLight() {
  TREVALON_TRACE_QUIET();
  std::shared_ptr<Reader> reader = lower();
  return reader ? reader->getBackLight() : kUnknownByte;
}

bool ReaderReaderTranslator::setBackLight(uint8_t value) {
  TREVALON_TRACE_QUIET();
  std::shared_ptr<Reader> reader = lower();
  return reader ? reader->setBackLight(value) : false;
}

uint8_t ReaderReaderTranslator::getDisplayMode() {
  TREVALON_TRACE_QUIET();
  std::shared_ptr<Reader> reader = lower();
  return reader ? reader->getDisplayMode() : kUnknownByte;
}

bool ReaderReaderTranslator::setDisplayMode(uint8_t mode) {
  TREVALON_TRACE_QUIET();
  std::shared_ptr<Reader> reader = lower();
  return reader ? reader->setDisplayMode(mode) : false;
}

uint8_t ReaderReaderTranslator::getRssiMinValue() {
  TREVALON_TRACE_QUIET();
  std::shared_ptr<Reader> reader = lower();
  return reader ? reader->getRssiMinValue() : kUnknownByte;
}

bool ReaderReaderTranslator::setRssiMinValue(uint8_t value) {
  TREVALON_TRACE_QUIET();
  std::shared_ptr<Reader> reader = lower();
  return reader ? reader->setRssiMinValue(value) : false;
}

kelvo::WorkingTimeRanges ReaderReaderTranslator::getWorkingTimeRanges() {
  TREVALON_TRACE_QUIET();
  std::shared_ptr<Reader> reader = lower();
  return reader ? reader->getWorkingTimeRanges() : kelvo::WorkingTimeRanges::zero();
}

bool ReaderReaderTranslator::setWorkingTimeRanges(const kelvo::WorkingTimeRanges& ranges) {
  TREVALON_TRACE_QUIET();
  std::shared_ptr<Reader> reader = lower();
  return reader ? reader->setWorkingTimeRanges(ranges) : false;
}

std::string ReaderReaderTranslator::getAddress() {
  TREVALON_TRACE_QUIET();
  std::shared_ptr<Reader> reader = lower();
  return reader ? reader->getAddress() : std::string();
}

bool ReaderReaderTranslator::isConnected() {
  TREVALON_TRACE_QUIET();
  std::shared_ptr<Reader> reader = lower();
  return reader ? reader->isConnected() : false;
}

bool ReaderReaderTranslator::isAvailable() {
  TREVALON_TRACE_QUIET();
  std::shared_ptr<Reader> reader = lower();
  return reader ? reader->isAvailable() : false;
}

std::list<std::string> ReaderReaderTranslator::getBonded() {
  TREVALON_TRACE_QUIET();
  std::shared_ptr<Reader> reader = lower();
  return reader ? reader->getBonded() : std::list<std::string>();
}

std::string ReaderReaderTranslator::getPrefered() {
  TREVALON_TRACE_QUIET();
  std::shared_ptr<Reader> reader = lower();
  return reader ? reader->getPrefered() : std::string();
}

bool ReaderReaderTranslator::setPrefered(const std::string& name) {
  TREVALON_TRACE_QUIET();
  std::shared_ptr<Reader> reader = lower();
  return reader ? reader->setPrefered(name) : false;
}

bool ReaderReaderTranslator::isPaired() {
  TREVALON_TRACE_QUIET();
  std::shared_ptr<Reader> reader = lower();
  return reader ? reader->isPaired() : false;
}

bool ReaderReaderTranslator::setPaired(bool paired) {
  TREVALON_TRACE_QUIET();
  std::shared_ptr<Reader> reader = lower();
  return reader ? reader->setPaired(paired) : false;
}

bool ReaderReaderTranslator::eraseBond(const std::string& name) {
  TREVALON_TRACE_QUIET();
  std::shared_ptr<Reader> reader = lower();
  return reader ? reader->eraseBond(name) : false;
}

bool ReaderReaderTranslator::forceBootMode() {
  TREVALON_TRACE_QUIET();
  std::shared_ptr<Reader> reader = lower();
  return reader ? reader->forceBootMode() : false;
}

bool ReaderReaderTranslator::reservedQuery() {
  TREVALON_TRACE_QUIET();
  std::shared_ptr<Reader> reader = lower();
  return reader ? reader->reservedQuery() : false;
}

bool ReaderReaderTranslator::stateQuery() {
  TREVALON_TRACE_QUIET();
  std::shared_ptr<Reader> reader = lower();
  return reader ? reader->stateQuery() : false;
}

std::string ReaderReaderTranslator::getId() {
  TREVALON_TRACE_QUIET();
  std::shared_ptr<Reader> reader = lower();
  return reader ? reader->getId() : std::string();
}

Reader::Family ReaderReaderTranslator::getFamily() {
  std::shared_ptr<Reader> reader = lower();
  return reader ? reader->getFamily() : Family::kKelvo;
}

CardState ReaderReaderTranslator::getState() {
  TREVALON_TRACE_QUIET();
  std::shared_ptr<Reader> reader = lower();
  return reader ? reader->getState() : static_cast<CardState>(kCardUnknown);
}

std::vector<uint8_t> ReaderReaderTranslator::getAtr() {
  TREVALON_TRACE_QUIET();
  std::shared_ptr<Reader> reader = lower();
  return reader ? reader->getAtr() : std::vector<uint8_t>();
}

uint32_t ReaderReaderTranslator::getProtocol() {
  TREVALON_TRACE_QUIET();
  std::shared_ptr<Reader> reader = lower();
  return reader ? reader->getProtocol() : static_cast<uint32_t>(kProtocolNone);
}

std::vector<uint8_t> ReaderReaderTranslator::sendAPDU(std::vector<uint8_t> apdu) {
  TREVALON_TRACE_QUIET();
  std::shared_ptr<Reader> reader = lower();
  return reader ? reader->sendAPDU(std::move(apdu)) : std::vector<uint8_t>();
}

bool ReaderReaderTranslator::setProtocol(uint32_t protocol) {
  TREVALON_TRACE_QUIET();
  std::shared_ptr<Reader> reader = lower();
  return reader ? reader->setProtocol(protocol) : false;
}

bool ReaderReaderTranslator::shutdown() {
  TREVALON_TRACE_QUIET();
  std::shared_ptr<Reader> reader = lower();
  return reader ? reader->shutdown() : false;
}

void ReaderReaderTranslator::onBatteryLevelChanged(uint8_t level) {
  TREVALON_TRACE_QUIET();
  notifyDevice(&DeviceObserver::onBatteryLevelChanged, level);
}

void ReaderReaderTranslator::onUsbCableStatusChanged(uint8_t status) {
  TREVALON_TRACE_QUIET();
  notifyDevice(&DeviceObserver::onUsbCableStatusChanged, status);
}

void ReaderReaderTranslator::onEncryptionChanged(uint8_t value) {
  TREVALON_TRACE_QUIET();
  notifyDevice(&DeviceObserver::onEncryptionChanged, value);
}

void ReaderReaderTranslator::onAdvertisingModeChanged(uint8_t mode) {
  TREVALON_TRACE_QUIET();
  notifyDevice(&DeviceObserver::onAdvertisingModeChanged, mode);
}

void ReaderReaderTranslator::onBuzzerModeChanged(uint8_t mode) {
  TREVALON_TRACE_QUIET();
  notifyDevice(&DeviceObserver::onBuzzerModeChanged, mode);
}

void ReaderReaderTranslator::onSignalStrengthChanged(uint8_t strength) {
  TREVALON_TRACE_QUIET();
  notifyDevice(&DeviceObserver::onSignalStrengthChanged, strength);
}

void ReaderReaderTranslator::onBackLightChanged(uint8_t value) {
  TREVALON_TRACE_QUIET();
  notifyDevice(&DeviceObserver::onBackLightChanged, value);
}

void ReaderReaderTranslator::onDisplayModeChanged(uint8_t mode) {
  TREVALON_TRACE_QUIET();
  notifyDevice(&DeviceObserver::onDisplayModeChanged, mode);
}

void ReaderReaderTranslator::onRssiMinValueChanged(uint8_t value) {
  TREVALON_TRACE_QUIET();
  notifyDevice(&DeviceObserver::onRssiMinValueChanged, value);
}

void ReaderReaderTranslator::onConnectedChanged(bool connected) {
  TREVALON_TRACE_QUIET();
  notifyDevice(&DeviceObserver::onConnectedChanged, connected);
}

void ReaderReaderTranslator::onAvailableChanged(bool available) {
  TREVALON_TRACE_QUIET();
  notifyDevice(&DeviceObserver::onAvailableChanged, available);
}

void ReaderReaderTranslator::onPairedChanged(bool paired) {
  TREVALON_TRACE_QUIET();
  notifyDevice(&DeviceObserver::onPairedChanged, paired);
}

void ReaderReaderTranslator::onEvent(uint32_t value) {
  TREVALON_TRACE_QUIET();
  notifyDevice(&DeviceObserver::onEvent, value);
}

void ReaderReaderTranslator::onStateChanged(CardState state) {
  TREVALON_TRACE_QUIET();
  notifySlot(&SlotObserver::onStateChanged, state);
}

void ReaderReaderTranslator::onProtocolChanged(uint32_t protocol) {
  TREVALON_TRACE_QUIET();
  notifyCard(&CardObserver::onProtocolChanged, protocol);
}

std::vector<uint8_t> ReaderReaderTranslator::onKeyRequested() {
  TREVALON_TRACE();
  return askForKey();
}

}  // namespace trevalon
