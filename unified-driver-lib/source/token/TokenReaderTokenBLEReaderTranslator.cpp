// SPDX-License-Identifier: Apache-2.0
#include "trevalon/token/TokenReaderTokenBLEReaderTranslator.h"

#include "trevalon/common/ExchangeDescriber.h"
#include "trevalon/common/Log.h"
#include "trevalon/common/ScopeTrace.h"
#include "trevalon/token/TokenFunctions.h"

namespace trevalon::token {
namespace {

constexpr uint8_t kUnknownLevel = 0xFF;
constexpr uint8_t kFullBattery = 100;
constexpr size_t kSerialLength = 6;
constexpr uint8_t kCardError = 2;
// The PC/SC protocol numbers a caller may ask for.
constexpr uint32_t kProtocolT0 = 1;
constexpr uint32_t kProtocolT1 = 2;
constexpr uint32_t kProtocolAny = 3;
constexpr uint32_t kProtocolDefault = 0x80000000u;

}  // namespace

TokenReaderTokenBLEReaderTranslator::TokenReaderTokenBLEReaderTranslator(Clock clock) : clock(std::move(clock)) {}

TransmitResult TokenReaderTokenBLEReaderTranslator::exchange(uint8_t function, const std::vector<uint8_t>& payload) {
  std::shared_ptr<TokenBLEReader> lower = getMaster();
  if (!lower) {
    TREVALON_LOG(error, "no reader below");
    return TransmitResult{};
  }
  return lower->transmit(function, payload, true);
}

std::string TokenReaderTokenBLEReaderTranslator::versionText(uint8_t version) {
  return std::to_string(version >> 4) + "." + std::to_string(version & 0x0F);
}

std::string TokenReaderTokenBLEReaderTranslator::version(uint8_t function) {
  const TransmitResult answer = exchange(function, {});
  if (answer.code != 0 || answer.data.size() != 1) return {};
  return versionText(answer.data[0]);
}

std::string TokenReaderTokenBLEReaderTranslator::getFirmware() {
  TREVALON_TRACE();
  return version(TokenFunctions::kGetFirmware);
}

std::string TokenReaderTokenBLEReaderTranslator::getHardware() {
  TREVALON_TRACE();
  return version(TokenFunctions::kGetHardware);
}

std::string TokenReaderTokenBLEReaderTranslator::getSerial() {
  TREVALON_TRACE();
  const TransmitResult answer = exchange(TokenFunctions::kGetSerial, {});
  if (answer.code != 0 || answer.data.size() != kSerialLength) return {};
  return std::string(answer.data.begin(), answer.data.end());
}

uint8_t TokenReaderTokenBLEReaderTranslator::getBatteryLevel() {
  TREVALON_TRACE();
  const TransmitResult answer = exchange(TokenFunctions::kGetBatteryLevel, {});
  if (answer.code != 0 || answer.data.size() != 1) return kUnknownLevel;
  return answer.data[0] <= kFullBattery ? answer.data[0] : kUnknownLevel;
}

std::string TokenReaderTokenBLEReaderTranslator::getAddress() {
  TREVALON_TRACE_QUIET();
  auto lower = getMaster();
  return lower ? lower->getAddress() : std::string();
}

std::string TokenReaderTokenBLEReaderTranslator::getId() {
  TREVALON_TRACE_QUIET();
  auto lower = getMaster();
  return lower ? lower->getId() : std::string();
}

bool TokenReaderTokenBLEReaderTranslator::isConnected() {
  TREVALON_TRACE_QUIET();
  auto lower = getMaster();
  return lower && lower->isConnected();
}

bool TokenReaderTokenBLEReaderTranslator::isAvailable() {
  TREVALON_TRACE_QUIET();
  auto lower = getMaster();
  return lower && lower->isAvailable();
}

bool TokenReaderTokenBLEReaderTranslator::isPaired() {
  TREVALON_TRACE_QUIET();
  auto lower = getMaster();
  return lower && lower->isPaired();
}

bool TokenReaderTokenBLEReaderTranslator::setPaired(bool paired) {
  TREVALON_TRACE_ARGS(paired ? "true" : "false");
  auto lower = getMaster();
  return lower && lower->setPaired(paired);
}

std::vector<uint8_t> TokenReaderTokenBLEReaderTranslator::resetCard() {
  TREVALON_TRACE();
  TransmitResult answer = exchange(TokenFunctions::kInitializeCard, {});
  if (answer.code == 0) return std::move(answer.data);
  if (answer.code == kCardError) {
    TREVALON_LOG(error, "card error");
  } else {
    TREVALON_LOG(warning, "Unhandled result 0x%X", answer.code);
  }
  return {};
}

std::vector<uint8_t> TokenReaderTokenBLEReaderTranslator::sendAPDU(std::vector<uint8_t> apdu) {
  TREVALON_TRACE_ARGS(common::ExchangeDescriber::apdu(apdu));
  TransmitResult answer = exchange(TokenFunctions::kSendApdu, apdu);
  if (answer.code != 0) {
    TREVALON_LOG(error, "sendAPDU failed with 0x%X", answer.code);
    return {};
  }
  return std::move(answer.data);
}

bool TokenReaderTokenBLEReaderTranslator::setClock() {
  TREVALON_TRACE();
  const auto seconds = std::chrono::duration_cast<std::chrono::seconds>(clock().time_since_epoch()).count();
  const auto now = static_cast<uint32_t>(seconds);
  const std::vector<uint8_t> payload = {static_cast<uint8_t>(now >> 24), static_cast<uint8_t>(now >> 16),
                                        static_cast<uint8_t>(now >> 8), static_cast<uint8_t>(now)};
  return exchange(TokenFunctions::kSetTime, payload).code == 0;
}

bool TokenReaderTokenBLEReaderTranslator::setProtocol(uint32_t protocol) {
  TREVALON_TRACE_ARGS(std::to_string(protocol));
  uint8_t selection;
  switch (protocol) {
    case kProtocolT0:
      selection = 0;
      break;
    case kProtocolT1:
    case kProtocolAny:
    case kProtocolDefault:
      selection = 1;
      break;
    default:
      TREVALON_LOG(warning, "protocol %u cannot be set", protocol);
      return false;
  }
  return exchange(TokenFunctions::kSetProtocol, {selection}).code == 0;
}

void TokenReaderTokenBLEReaderTranslator::unsetCard() {
  TREVALON_TRACE();
  const TransmitResult answer = exchange(TokenFunctions::kFinalizeCard, {});
  if (answer.code != 0) TREVALON_LOG(error, "Failed to finalize card: 0x%X", answer.code);
}

void TokenReaderTokenBLEReaderTranslator::onAvailableChanged(bool available) {
  TREVALON_TRACE_ARGS(available ? "true" : "false");
  notifyObservers(&TokenReaderObserver::onAvailableChanged, available);
}

void TokenReaderTokenBLEReaderTranslator::onConnectedChanged(bool connected) {
  TREVALON_TRACE_ARGS(connected ? "true" : "false");
  notifyObservers(&TokenReaderObserver::onConnectedChanged, connected);
}

std::vector<uint8_t> TokenReaderTokenBLEReaderTranslator::onKeyRequested() {
  TREVALON_TRACE();
  return callObserver(&TokenReaderObserver::onKeyRequested);
}

}  // namespace trevalon::token
