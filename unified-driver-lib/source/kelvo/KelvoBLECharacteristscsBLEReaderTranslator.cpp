// SPDX-License-Identifier: Apache-2.0
#include "trevalon/kelvo/KelvoBLECharacteristscsBLEReaderTranslator.h"

#include <algorithm>

#include "trevalon/common/Log.h"
#include "trevalon/common/ScopeTrace.h"

namespace trevalon::kelvo {

using ble::kReaderService;

KelvoBLECharacteristscsBLEReaderTranslator::KelvoBLECharacteristscsBLEReaderTranslator(std::chrono::seconds timeout)
    : timeout(timeout) {}

std::string KelvoBLECharacteristscsBLEReaderTranslator::getAddress() {
  TREVALON_TRACE();
  auto reader = getMaster();
  return reader ? reader->getAddress() : std::string();
}

std::string KelvoBLECharacteristscsBLEReaderTranslator::getId() {
  TREVALON_TRACE();
  auto reader = getMaster();
  return reader ? reader->getId() : std::string();
}

bool KelvoBLECharacteristscsBLEReaderTranslator::isConnected() {
  TREVALON_TRACE();
  auto reader = getMaster();
  return reader && reader->isConnected();
}

bool KelvoBLECharacteristscsBLEReaderTranslator::isAvailable() {
  TREVALON_TRACE();
  auto reader = getMaster();
  return reader && reader->isAvailable();
}

bool KelvoBLECharacteristscsBLEReaderTranslator::isPaired() {
  TREVALON_TRACE();
  auto reader = getMaster();
  return reader && reader->isPaired();
}

bool KelvoBLECharacteristscsBLEReaderTranslator::setPaired(bool paired) {
  TREVALON_TRACE();
  auto reader = getMaster();
  return reader && reader->setPaired(paired);
}

bool KelvoBLECharacteristscsBLEReaderTranslator::writeTo(const ble::Uuid& characteristic, std::vector<uint8_t> data) {
  auto reader = getMaster();
  return reader && reader->write(kReaderService, characteristic, std::move(data), timeout);
}

std::vector<uint8_t> KelvoBLECharacteristscsBLEReaderTranslator::readFrom(const ble::Uuid& characteristic) {
  auto reader = getMaster();
  return reader ? reader->read(kReaderService, characteristic, timeout) : std::vector<uint8_t>();
}

bool KelvoBLECharacteristscsBLEReaderTranslator::writeIndicate(std::vector<uint8_t> data) {
  TREVALON_TRACE();
  return writeTo(kIndicate, std::move(data));
}

bool KelvoBLECharacteristscsBLEReaderTranslator::writeInput(std::vector<uint8_t> data) {
  TREVALON_TRACE();
  return writeTo(kInput, std::move(data));
}

bool KelvoBLECharacteristscsBLEReaderTranslator::writePrepare(std::vector<uint8_t> data) {
  TREVALON_TRACE();
  return writeTo(kPrepare, std::move(data));
}

bool KelvoBLECharacteristscsBLEReaderTranslator::writeSpare(std::vector<uint8_t> data) {
  TREVALON_TRACE();
  return writeTo(kSpareWrite, std::move(data));
}

bool KelvoBLECharacteristscsBLEReaderTranslator::writeTransmit(std::vector<uint8_t> data) {
  TREVALON_TRACE();
  return writeTo(kTransmit, std::move(data));
}

std::vector<uint8_t> KelvoBLECharacteristscsBLEReaderTranslator::readProcess2() {
  TREVALON_TRACE();
  return readFrom(kProcess2);
}

std::vector<uint8_t> KelvoBLECharacteristscsBLEReaderTranslator::readSpare() {
  TREVALON_TRACE();
  return readFrom(kSpareRead);
}

std::vector<uint8_t> KelvoBLECharacteristscsBLEReaderTranslator::waitOutput2() {
  TREVALON_TRACE();
  auto reader = getMaster();
  return reader ? reader->wait(kReaderService, kOutput2, timeout) : std::vector<uint8_t>();
}

std::vector<uint8_t> KelvoBLECharacteristscsBLEReaderTranslator::waitOutput2(std::chrono::milliseconds limit) {
  TREVALON_TRACE();
  auto reader = getMaster();
  return reader ? reader->wait(kReaderService, kOutput2, std::min<std::chrono::milliseconds>(limit, timeout))
                : std::vector<uint8_t>();
}

void KelvoBLECharacteristscsBLEReaderTranslator::discardOutput2() {
  TREVALON_TRACE();
  if (auto reader = getMaster()) {
    reader->setWait(kReaderService, kOutput2);
  }
}

void KelvoBLECharacteristscsBLEReaderTranslator::configure(const std::shared_ptr<ble::BLEReader>& reader) {
  for (const ble::Uuid& characteristic : {kIndicate, kInput, kPrepare, kSpareWrite, kTransmit}) {
    reader->setWrite(kReaderService, characteristic);
  }
  reader->setRead(kReaderService, kSpareRead);
  reader->setRead(kReaderService, kProcess2);
  reader->setWait(kReaderService, kOutput2);
}

void KelvoBLECharacteristscsBLEReaderTranslator::onConnectedChanged(bool connected) {
  TREVALON_TRACE_ARGS(connected ? "true" : "false");
  if (auto reader = getMaster()) {
    configure(reader);
    if (connected) {
      reader->registerCharacteristic(kReaderService, kNotification);
      reader->registerCharacteristic(kReaderService, kOutput2);
    }
  }
  notifyObservers(&KelvoBLECharacteristscsObserver::onConnectedChanged, connected);
}

void KelvoBLECharacteristscsBLEReaderTranslator::onAvailableChanged(bool available) {
  TREVALON_TRACE_ARGS(available ? "true" : "false");
  auto reader = getMaster();
  if (!reader) {
    return;
  }
  if (available) {
    // Without both registrations no answer and no event could reach us: such a reader is not available.
    if (reader->registerCharacteristic(kReaderService, kNotification) &&
        reader->registerCharacteristic(kReaderService, kOutput2)) {
      notifyObservers(&KelvoBLECharacteristscsObserver::onAvailableChanged, true);
    } else {
      TREVALON_LOG(warning, "notifications could not be registered; reader not reported available");
    }
    return;
  }
  reader->unregisterCharacteristic(kReaderService, kNotification);
  reader->unregisterCharacteristic(kReaderService, kOutput2);
  notifyObservers(&KelvoBLECharacteristscsObserver::onAvailableChanged, false);
}

void KelvoBLECharacteristscsBLEReaderTranslator::onPairedChanged(bool paired) {
  TREVALON_TRACE();
  notifyObservers(&KelvoBLECharacteristscsObserver::onPairedChanged, paired);
}

void KelvoBLECharacteristscsBLEReaderTranslator::onNotified(ble::Uuid service, ble::Uuid characteristic,
                                                            std::vector<uint8_t> data) {
  TREVALON_TRACE();
  if (service != kReaderService) {
    TREVALON_LOG(warning, "unknown service characteristic notified");
    return;
  }
  if (characteristic != kNotification) {
    TREVALON_LOG(warning, "unknown characteristic notified");
    return;
  }
  notifyObservers(&KelvoBLECharacteristscsObserver::notified, data);
}

void KelvoBLECharacteristscsBLEReaderTranslator::onEvent(uint32_t value) {
  TREVALON_TRACE();
  notifyObservers(&KelvoBLECharacteristscsObserver::onEvent, value);
}

}  // namespace trevalon::kelvo
