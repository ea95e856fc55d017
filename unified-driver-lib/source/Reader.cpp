// SPDX-License-Identifier: Apache-2.0
#include "trevalon/Reader.h"

#include <regex>

#include "trevalon/ReaderCache.h"
#include "trevalon/ReaderCardStateProxy.h"
#include "trevalon/ReaderKelvoReaderTranslator.h"
#include "trevalon/ReaderTokenReaderTranslator.h"
#include "trevalon/ble/BLEReaderBLEReaderNativeTranslator.h"
#include "trevalon/ble/ReaderServiceUuids.h"
#include "trevalon/common/Log.h"
#include "trevalon/common/ScopeTrace.h"
#include "trevalon/kelvo/KelvoBLECharacteristscsBLEReaderTranslator.h"
#include "trevalon/kelvo/KelvoBLEReaderCryptoProxy.h"
#include "trevalon/kelvo/KelvoBLEReaderKelvoBLECharacteristscsTranslator.h"
#include "trevalon/kelvo/KelvoReaderKelvoBLEReaderTranslator.h"
#include "trevalon/local/Settings.h"
#include "trevalon/token/TokenBLECharacteristicsBLEReaderTranslator.h"
#include "trevalon/token/TokenBLEReaderCryptoProxy.h"
#include "trevalon/token/TokenBLEReaderTokenBLECharacteristicsTranslator.h"
#include "trevalon/token/TokenReaderTokenBLEReaderTranslator.h"

namespace trevalon {
namespace {

// A serial number carried in the advertised name; empty when the name carries none.
std::string serialInName(const std::string& name) {
  static const std::regex firstGeneration("^Kelvo 5[0-9]{9}$");
  static const std::regex secondGeneration("^K(LV2|2.{2})[0-9]{10}$");
  if (std::regex_match(name, firstGeneration)) {
    return name.substr(6);
  }
  if (std::regex_match(name, secondGeneration)) {
    return name;
  }
  return {};
}

std::shared_ptr<Reader> createKelvoReader(const std::shared_ptr<ble::BLEReader>& ble,
                                          const Reader::StackOptions& options) {
  using namespace kelvo;
  std::shared_ptr<KelvoBLECharacteristscs> characteristics =
      common::createTranslator<KelvoBLECharacteristscsBLEReaderTranslator>(ble, options.characteristicTimeout);
  std::shared_ptr<KelvoBLEReader> packets =
      common::createTranslator<KelvoBLEReaderKelvoBLECharacteristscsTranslator>(characteristics);
  std::shared_ptr<KelvoBLEReader> encrypted = common::createTranslator<KelvoBLEReaderCryptoProxy>(packets);
  std::shared_ptr<KelvoReader> functions = common::createTranslator<KelvoReaderKelvoBLEReaderTranslator>(encrypted);
  return common::createTranslator<ReaderKelvoReaderTranslator>(functions);
}

std::shared_ptr<Reader> createPentaloqReader(const std::shared_ptr<ble::BLEReader>& ble,
                                             const Reader::StackOptions& options) {
  using namespace token;
  std::shared_ptr<TokenBLECharacteristics> characteristics =
      common::createTranslator<TokenBLECharacteristicsBLEReaderTranslator>(ble, options.characteristicTimeout);
  std::shared_ptr<TokenBLEReader> chunks =
      common::createTranslator<TokenBLEReaderTokenBLECharacteristicsTranslator>(characteristics);
  std::shared_ptr<TokenBLEReader> encrypted = common::createTranslator<TokenBLEReaderCryptoProxy>(chunks);
  std::shared_ptr<TokenReader> functions = common::createTranslator<TokenReaderTokenBLEReaderTranslator>(encrypted);
  return common::createTranslator<ReaderTokenReaderTranslator>(functions);
}

}  // namespace

std::shared_ptr<Reader> Reader::create(const std::shared_ptr<ble::BLEReaderNative>& native) {
  return create(native, StackOptions());
}

std::shared_ptr<Reader> Reader::create(const std::shared_ptr<ble::BLEReaderNative>& native,
                                       const StackOptions& options) {
  TREVALON_TRACE();
  std::shared_ptr<ble::BLEReader> ble =
      common::createTranslator<ble::BLEReaderBLEReaderNativeTranslator>(native, options.linkIdlePeriod);
  if (!ble) {
    TREVALON_LOG(error, "no native reader");
    return {};
  }
  const std::string name = ble->getName();
  const std::string serial = serialInName(name);
  if (!serial.empty()) {
    local::writeTextSetting("serial_" + ble->getId(), serial, false);
  }
  std::shared_ptr<Reader> family;
  if (ble->hasService(ble::kReaderService, {})) {
    TREVALON_LOG(info, "Kelvo service was found");
    family = createKelvoReader(ble, options);
  } else if (ble->hasService(token::TokenBLECharacteristics::kService, {})) {
    TREVALON_LOG(info, "Pentaloq service was found");
    family = createPentaloqReader(ble, options);
  } else {
    TREVALON_LOG(warning, "No known service was found for '%s'", name.c_str());
  }
  // The service checks connected the device; the stack connects again when it is next used. A device that
  // is not a reader is let go as well, instead of being held connected for nothing.
  native->disconnect();
  if (!family) {
    return {};
  }
  std::shared_ptr<Reader> cardState = common::createTranslator<ReaderCardStateProxy>(family, options.cardIdlePeriodMs);
  return common::createTranslator<ReaderCache>(cardState);
}

std::shared_ptr<Reader::DeviceProvider> Reader::createDeviceProvider() { return createDeviceProvider(StackOptions()); }

std::shared_ptr<Reader::DeviceProvider> Reader::createDeviceProvider(const StackOptions& options) {
  TREVALON_TRACE();
  return std::make_shared<DeviceProvider>([options](const std::shared_ptr<ble::BLEReaderNative>& native) {
    return std::shared_ptr<Device>(Reader::create(native, options));
  });
}

void Reader::addObserver(const std::shared_ptr<ReaderObserver>& observer) {
  Device::addObserver(observer);
  Slot::addObserver(observer);
  Card::addObserver(observer);
}

void Reader::removeObserver(const std::shared_ptr<ReaderObserver>& observer) {
  Device::removeObserver(observer);
  Slot::removeObserver(observer);
  Card::removeObserver(observer);
}

std::list<std::shared_ptr<Slot>> Reader::getSlots() {
  TREVALON_TRACE_QUIET();
  return {sharedAs<Slot>()};
}

bool Reader::offersCard(CardState state) {
  switch (state) {
    case kCardPresent:
    case kCardSwallowed:
    case kCardPowered:
    case kCardNegotiable:
    case kCardSpecific:
    case kCardAsleepPowered:
    case kCardAsleepNegotiable:
    case kCardAsleepSpecific:
      return true;
    default:
      return false;
  }
}

std::shared_ptr<Card> Reader::getCard() {
  TREVALON_TRACE_QUIET();
  return offersCard(getState()) ? sharedAs<Card>() : nullptr;
}

}  // namespace trevalon
