// SPDX-License-Identifier: Apache-2.0
#include "trevalon/ReaderTokenReaderTranslator.h"

#include "trevalon/common/ExchangeDescriber.h"
#include "trevalon/common/Log.h"
#include "trevalon/common/ScopeTrace.h"
#include "trevalon/local/Settings.h"

namespace trevalon {
namespace {

constexpr uint8_t kNoValue = 0xFF;

}  // namespace

std::shared_ptr<token::TokenReader> ReaderTokenReaderTranslator::lower() {
  std::shared_ptr<token::TokenReader> reader = getMaster();
  if (!reader) TREVALON_LOG(error, "no reader below");
  return reader;
}

Reader::Family ReaderTokenReaderTranslator::getFamily() { return Family::kPentaloq; }

std::string ReaderTokenReaderTranslator::getVendor() {
  TREVALON_TRACE();
  return "trevalon GmbH";
}

std::string ReaderTokenReaderTranslator::getModel() {
  TREVALON_TRACE();
  return "Pentaloq";
}

std::string ReaderTokenReaderTranslator::getSerial() {
  TREVALON_TRACE();
  std::shared_ptr<token::TokenReader> reader = lower();
  if (!reader) return {};
  const std::string name = "serial_" + reader->getAddress();
  std::string serial = reader->getSerial();
  if (!serial.empty()) {
    local::writeTextSetting(name, serial, false);
    return serial;
  }
  // Out of reach, or the key is not set up: the serial from the last time the reader answered.
  return local::readTextSetting(name, std::string(), false);
}

std::string ReaderTokenReaderTranslator::getFirmware() {
  TREVALON_TRACE();
  std::shared_ptr<token::TokenReader> reader = lower();
  return reader ? reader->getFirmware() : std::string();
}

std::string ReaderTokenReaderTranslator::getHardware() {
  TREVALON_TRACE();
  std::shared_ptr<token::TokenReader> reader = lower();
  return reader ? reader->getHardware() : std::string();
}

std::string ReaderTokenReaderTranslator::getBuild() {
  TREVALON_TRACE_QUIET();
  return {};
}

uint8_t ReaderTokenReaderTranslator::getBatteryLevel() {
  TREVALON_TRACE_QUIET();
  std::shared_ptr<token::TokenReader> reader = lower();
  return reader ? reader->getBatteryLevel() : kNoValue;
}

uint8_t ReaderTokenReaderTranslator::getUsbCableStatus() {
  TREVALON_TRACE_QUIET();
  return kNoValue;
}

uint8_t ReaderTokenReaderTranslator::getEncryption() {
  TREVALON_TRACE_QUIET();
  return kNoValue;
}

uint8_t ReaderTokenReaderTranslator::getAdvertisingMode() {
  TREVALON_TRACE_QUIET();
  return kNoValue;
}

bool ReaderTokenReaderTranslator::setAdvertisingMode(uint8_t) {
  TREVALON_TRACE_QUIET();
  return false;
}

uint8_t ReaderTokenReaderTranslator::getBuzzerMode() {
  TREVALON_TRACE_QUIET();
  return kNoValue;
}

bool ReaderTokenReaderTranslator::setBuzzerMode(uint8_t) {
  TREVALON_TRACE_QUIET();
  return false;
}

uint8_t ReaderTokenReaderTranslator::getSignalStrength() {
  TREVALON_TRACE_QUIET();
  return kNoValue;
}

bool ReaderTokenReaderTranslator::setSignalStrength(uint8_t) {
  TREVALON_TRACE_QUIET();
  return false;
}

uint8_t ReaderTokenReaderTranslator::getBackLight() {
  TREVALON_TRACE_QUIET();
  return kNoValue;
}

bool ReaderTokenReaderTranslator::setBackLight(uint8_t) {
  TREVALON_TRACE_QUIET();
  return false;
}

uint8_t ReaderTokenReaderTranslator::getDisplayMode() {
  TREVALON_TRACE_QUIET();
  return kNoValue;
}

bool ReaderTokenReaderTranslator::setDisplayMode(uint8_t) {
  TREVALON_TRACE_QUIET();
  return false;
}

uint8_t ReaderTokenReaderTranslator::getRssiMinValue() {
  TREVALON_TRACE_QUIET();
  return kNoValue;
}

bool ReaderTokenReaderTranslator::setRssiMinValue(uint8_t) {
  TREVALON_TRACE_QUIET();
  return false;
}

kelvo::WorkingTimeRanges ReaderTokenReaderTranslator::getWorkingTimeRanges() {
  TREVALON_TRACE_QUIET();
  return kelvo::WorkingTimeRanges::zero();
}

bool ReaderTokenReaderTranslator::setWorkingTimeRanges(const kelvo::WorkingTimeRanges&) {
  TREVALON_TRACE_QUIET();
  return false;
}

std::string ReaderTokenReaderTranslator::getAddress() {
  TREVALON_TRACE_QUIET();
  std::shared_ptr<token::TokenReader> reader = lower();
  return reader ? reader->getAddress() : std::string();
}

bool ReaderTokenReaderTranslator::isConnected() {
  TREVALON_TRACE_QUIET();
  // What onConnectedChanged announces: the reader in range, not the link, which is dropped when idle.
  std::shared_ptr<token::TokenReader> reader = lower();
  return reader && reader->isAvailable();
}

bool ReaderTokenReaderTranslator::isAvailable() {
  TREVALON_TRACE_QUIET();
  return true;
}

std::list<std::string> ReaderTokenReaderTranslator::getBonded() {
  TREVALON_TRACE_QUIET();
  return {};
}

std::string ReaderTokenReaderTranslator::getPrefered() {
  TREVALON_TRACE_QUIET();
  return {};
}

bool ReaderTokenReaderTranslator::setPrefered(const std::string&) {
  TREVALON_TRACE_QUIET();
  return false;
}

bool ReaderTokenReaderTranslator::isPaired() {
  TREVALON_TRACE_QUIET();
  std::shared_ptr<token::TokenReader> reader = lower();
  return reader && reader->isPaired();
}

bool ReaderTokenReaderTranslator::setPaired(bool paired) {
  TREVALON_TRACE_QUIET();
  std::shared_ptr<token::TokenReader> reader = lower();
  return reader && reader->setPaired(paired);
}

bool ReaderTokenReaderTranslator::eraseBond(const std::string&) {
  TREVALON_TRACE_QUIET();
  return false;
}

bool ReaderTokenReaderTranslator::forceBootMode() {
  TREVALON_TRACE_QUIET();
  return false;
}

bool ReaderTokenReaderTranslator::reservedQuery() {
  TREVALON_TRACE_QUIET();
  return false;
}

bool ReaderTokenReaderTranslator::stateQuery() {
  TREVALON_TRACE_QUIET();
  return false;
}

std::string ReaderTokenReaderTranslator::getId() {
  TREVALON_TRACE_QUIET();
  std::shared_ptr<token::TokenReader> reader = lower();
  return reader ? reader->getId() : std::string();
}

CardState ReaderTokenReaderTranslator::getState() {
  TREVALON_TRACE_QUIET();
  return kCardUnknown;
}

std::vector<uint8_t> ReaderTokenReaderTranslator::getAtr() {
  TREVALON_TRACE();
  std::shared_ptr<token::TokenReader> reader = lower();
  return reader ? reader->resetCard() : std::vector<uint8_t>();
}

uint32_t ReaderTokenReaderTranslator::getProtocol() {
  TREVALON_TRACE_QUIET();
  return kProtocolNone;
}

std::vector<uint8_t> ReaderTokenReaderTranslator::sendAPDU(std::vector<uint8_t> apdu) {
  TREVALON_TRACE_ARGS(common::ExchangeDescriber::apdu(apdu));
  std::shared_ptr<token::TokenReader> reader = lower();
  return reader ? reader->sendAPDU(std::move(apdu)) : std::vector<uint8_t>();
}

bool ReaderTokenReaderTranslator::setProtocol(uint32_t protocol) {
  TREVALON_TRACE_ARGS(std::to_string(protocol));
  std::shared_ptr<token::TokenReader> reader = lower();
  return reader && reader->setProtocol(protocol);
}

bool ReaderTokenReaderTranslator::shutdown() {
  TREVALON_TRACE();
  std::shared_ptr<token::TokenReader> reader = lower();
  if (!reader) return false;
  reader->unsetCard();
  return true;
}

void ReaderTokenReaderTranslator::onAvailableChanged(bool available) {
  TREVALON_TRACE_ARGS(available ? "true" : "false");
  if (!available) notifySlot(&SlotObserver::onStateChanged, static_cast<CardState>(kCardAbsent));
  notifyDevice(&DeviceObserver::onConnectedChanged, available);
  if (!available) return;
  // The reader keeps no time of its own across power cycles; it is given ours whenever it comes.
  std::shared_ptr<token::TokenReader> reader = lower();
  if (reader && !reader->setClock()) TREVALON_LOG(warning, "the reader's clock could not be set");
  notifySlot(&SlotObserver::onStateChanged, static_cast<CardState>(kCardPresent));
}

void ReaderTokenReaderTranslator::onConnectedChanged(bool connected) {
  // The link is made for each use and dropped when idle; above, connected means in range (availability).
  TREVALON_TRACE_ARGS(connected ? "true" : "false");
}

std::vector<uint8_t> ReaderTokenReaderTranslator::onKeyRequested() {
  TREVALON_TRACE();
  return askForKey();
}

}  // namespace trevalon
