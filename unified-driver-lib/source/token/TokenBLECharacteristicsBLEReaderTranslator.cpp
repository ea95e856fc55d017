// SPDX-License-Identifier: Apache-2.0
#include "trevalon/token/TokenBLECharacteristicsBLEReaderTranslator.h"

#include "trevalon/common/Log.h"
#include "trevalon/common/ScopeTrace.h"

namespace trevalon::token {

TokenBLECharacteristicsBLEReaderTranslator::TokenBLECharacteristicsBLEReaderTranslator(std::chrono::seconds timeout)
    : timeout(timeout) {}

std::string TokenBLECharacteristicsBLEReaderTranslator::getAddress() {
  TREVALON_TRACE_QUIET();
  auto reader = getMaster();
  return reader ? reader->getAddress() : std::string();
}

std::string TokenBLECharacteristicsBLEReaderTranslator::getId() {
  TREVALON_TRACE_QUIET();
  auto reader = getMaster();
  return reader ? reader->getId() : std::string();
}

bool TokenBLECharacteristicsBLEReaderTranslator::isConnected() {
  TREVALON_TRACE_QUIET();
  auto reader = getMaster();
  return reader && reader->isConnected();
}

bool TokenBLECharacteristicsBLEReaderTranslator::isAvailable() {
  TREVALON_TRACE_QUIET();
  auto reader = getMaster();
  return reader && reader->isAvailable();
}

bool TokenBLECharacteristicsBLEReaderTranslator::isPaired() {
  TREVALON_TRACE_QUIET();
  auto reader = getMaster();
  return reader && reader->isPaired();
}

bool TokenBLECharacteristicsBLEReaderTranslator::setPaired(bool paired) {
  TREVALON_TRACE_ARGS(paired ? "true" : "false");
  auto reader = getMaster();
  return reader && reader->setPaired(paired);
}

std::vector<uint8_t> TokenBLECharacteristicsBLEReaderTranslator::receive() {
  TREVALON_TRACE();
  auto reader = getMaster();
  return reader ? reader->wait(kService, kOutput, timeout) : std::vector<uint8_t>();
}

bool TokenBLECharacteristicsBLEReaderTranslator::transmit(std::vector<uint8_t> chunk) {
  TREVALON_TRACE();
  auto reader = getMaster();
  return reader && reader->write(kService, kInput, std::move(chunk), timeout);
}

void TokenBLECharacteristicsBLEReaderTranslator::discardReceived() {
  TREVALON_TRACE_QUIET();
  if (auto reader = getMaster()) reader->setWait(kService, kOutput);
}

void TokenBLECharacteristicsBLEReaderTranslator::configure(const std::shared_ptr<ble::BLEReader>& reader) {
  reader->setWrite(kService, kInput);
  reader->setWait(kService, kOutput);
}

void TokenBLECharacteristicsBLEReaderTranslator::onConnectedChanged(bool connected) {
  TREVALON_TRACE_ARGS(connected ? "true" : "false");
  auto reader = getMaster();
  if (reader && connected) {
    configure(reader);
    // A new link starts without the subscription of the one before it: no answer could reach us.
    reader->registerCharacteristic(kService, kOutput);
  }
  notifyObservers(&TokenBLECharacteristicsObserver::onConnectedChanged, connected);
}

void TokenBLECharacteristicsBLEReaderTranslator::onAvailableChanged(bool available) {
  TREVALON_TRACE_ARGS(available ? "true" : "false");
  auto reader = getMaster();
  if (!reader) return;
  configure(reader);
  if (!available) {
    reader->unregisterCharacteristic(kService, kOutput);
  } else if (!reader->registerCharacteristic(kService, kOutput)) {
    // Without notifications no answer could reach us: such a reader is not available.
    TREVALON_LOG(warning, "notifications could not be enabled; reader not reported available");
    return;
  }
  notifyObservers(&TokenBLECharacteristicsObserver::onAvailableChanged, available);
}

void TokenBLECharacteristicsBLEReaderTranslator::onPairedChanged(bool) { TREVALON_TRACE_QUIET(); }

void TokenBLECharacteristicsBLEReaderTranslator::onNotified(ble::Uuid, ble::Uuid, std::vector<uint8_t>) {
  TREVALON_TRACE();
  // Answers are waited for; a Pentaloq reader sends nothing unasked.
  TREVALON_LOG(warning, "unexpected notification");
}

void TokenBLECharacteristicsBLEReaderTranslator::onEvent(uint32_t) { TREVALON_TRACE_QUIET(); }

}  // namespace trevalon::token
