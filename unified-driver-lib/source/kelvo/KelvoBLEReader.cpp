// SPDX-License-Identifier: Apache-2.0
#include "trevalon/kelvo/KelvoBLEReader.h"

#include "trevalon/common/Log.h"
#include "trevalon/common/ScopeTrace.h"
#include "trevalon/kelvo/KelvoNames.h"

namespace trevalon::kelvo {
namespace {

bool isKnownStatus(uint8_t status) { return status <= 10 || status == KelvoBLEReader::kStatusTransferFailed; }

}  // namespace

uint8_t KelvoBLEReader::getActiveEncryption() { return 0xFF; }

bool KelvoBLEReader::setActiveEncryption(uint8_t /*state*/) { return false; }

bool KelvoBLEReader::stateQuery() { return false; }

void KelvoBLEReader::dropAnswersInFlight() {}

bool KelvoBLEReader::isUnsupported(uint8_t method) const {
  std::lock_guard<std::mutex> guard(unsupportedLock);
  return unsupported.count(method) != 0;
}

TransmitResult KelvoBLEReader::transmit(uint8_t method, const std::vector<uint8_t>& payload, bool recover) {
  TREVALON_TRACE_ARGS(KelvoNames::requestTrace(method, payload));
  TransmitResult result;
  if (isUnsupported(method)) {
    result.status = kStatusUnsupported;
    scopeTrace.setResult("2 (unsupported, not sent)");
    return result;
  }
  std::vector<uint8_t> request;
  request.reserve(payload.size() + 1);
  request.push_back(method);
  request.insert(request.end(), payload.begin(), payload.end());
  std::vector<uint8_t> response = transmitRaw(std::move(request), recover);
  if (response.empty()) {
    result.status = kStatusUnknown;
    scopeTrace.setResult("0xff (no response)");
    return result;
  }
  result.status = isKnownStatus(response[0]) ? response[0] : kStatusUnknown;
  // The key agreements are never taken as unsupported for good: the answer travels unprotected, and a
  // damaged or forged byte must not cost the link its encryption for the life of the stack.
  if (result.status == kStatusUnsupported && method != kExchangeKey && method != kExchangeSessionKey) {
    std::lock_guard<std::mutex> guard(unsupportedLock);
    unsupported.insert(method);
  }
  result.payload.assign(response.begin() + 1, response.end());
  scopeTrace.setResult(std::to_string(result.status));
  return result;
}

bool KelvoBLEReader::updateMtu() {
  TREVALON_TRACE();
  const TransmitResult answer = transmit(kMaxRequestSize, {}, true);
  if (answer.status != kStatusSuccess || answer.payload.size() != 2) {
    TREVALON_LOG(info, "MaxRequestSize answered with status %i and %zu bytes", answer.status, answer.payload.size());
    return false;
  }
  updateMtu(static_cast<uint64_t>(answer.payload[0]) + 256u * static_cast<uint64_t>(answer.payload[1]));
  return true;
}

}  // namespace trevalon::kelvo
