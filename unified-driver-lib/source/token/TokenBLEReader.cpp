// SPDX-License-Identifier: Apache-2.0
#include "trevalon/token/TokenBLEReader.h"

#include "trevalon/common/Log.h"
#include "trevalon/common/ScopeTrace.h"
#include "trevalon/token/TokenCrc8.h"
#include "trevalon/token/TokenFunctions.h"

namespace trevalon::token {
namespace {

constexpr size_t kHeaderSize = 3;
constexpr size_t kMaxPayload = 0xFFFF;

size_t lengthField(const std::vector<uint8_t>& frame) {
  return static_cast<size_t>(frame[1]) | (static_cast<size_t>(frame[2]) << 8);
}

TransmitResult failure() { return TransmitResult{}; }

}  // namespace

std::vector<uint8_t> TokenBLEReader::frame(uint8_t function, const std::vector<uint8_t>& payload) {
  if (payload.size() > kMaxPayload) return {};
  std::vector<uint8_t> framed;
  framed.reserve(payload.size() + kHeaderSize + 1);
  framed.push_back(function);
  framed.push_back(static_cast<uint8_t>(payload.size() & 0xFF));
  framed.push_back(static_cast<uint8_t>(payload.size() >> 8));
  framed.insert(framed.end(), payload.begin(), payload.end());
  framed.push_back(TokenCrc8::of(framed.data(), framed.size()));
  return framed;
}

TransmitResult TokenBLEReader::parseAnswer(uint8_t function, const std::vector<uint8_t>& answer) {
  if (answer.size() < kHeaderSize + 1) {
    TREVALON_LOG(error, "Expected result to be at least 4 bytes long");
    return failure();
  }
  if (!TokenFunctions::isKnown(answer[0]) || answer[0] != function) {
    TREVALON_LOG(error, "functions do not match");
    return failure();
  }
  const size_t length = lengthField(answer);
  if (answer.size() < length + kHeaderSize + 1) {
    TREVALON_LOG(error, "size = %zi does not match %zi", answer.size(), length);
    return failure();
  }
  if (answer[kHeaderSize + length] != TokenCrc8::of(answer.data(), kHeaderSize + length)) {
    TREVALON_LOG(error, "CRC8 does not match");
    return failure();
  }
  if (length == 0) {
    TREVALON_LOG(error, "no result");
    return failure();
  }
  TransmitResult result;
  const uint8_t code = answer[kHeaderSize];
  result.code = code <= kHighestResultCode ? code : TransmitResult::kFailed;
  // Whatever follows the CRC is the cipher's zero fill.
  const auto end = answer.begin() + static_cast<std::ptrdiff_t>(kHeaderSize + length);
  result.data.assign(answer.begin() + kHeaderSize + 1, end);
  return result;
}

TransmitResult TokenBLEReader::transmit(uint8_t function, const std::vector<uint8_t>& payload, bool encrypt) {
  TREVALON_TRACE_ARGS(TokenFunctions::requestTrace(function, payload) + (encrypt ? ", true" : ", false"));
  std::vector<uint8_t> request = frame(function, payload);
  if (request.empty()) {
    TREVALON_LOG(error, "payload of %zu bytes does not fit a frame", payload.size());
    return failure();
  }
  TransmitResult result = parseAnswer(function, transmitRaw(std::move(request), encrypt));
  scopeTrace.setResult(result.toString());
  return result;
}

std::vector<uint8_t> TokenBLEReader::requestKey() {
  TREVALON_TRACE();
  return callObserver(&TokenBLEReaderObserver::onKeyRequested);
}

}  // namespace trevalon::token
