// SPDX-License-Identifier: Apache-2.0
#include "trevalon/token/TokenBLEReaderTokenBLECharacteristicsTranslator.h"

#include <algorithm>

#include "trevalon/common/Log.h"
#include "trevalon/common/ScopeTrace.h"
#include "trevalon/token/TokenFunctions.h"

namespace trevalon::token {
namespace {

constexpr size_t kPacketHeaderSize = 3;

}  // namespace

std::string TokenBLEReaderTokenBLECharacteristicsTranslator::getAddress() {
  TREVALON_TRACE_QUIET();
  auto lower = getMaster();
  return lower ? lower->getAddress() : std::string();
}

std::string TokenBLEReaderTokenBLECharacteristicsTranslator::getId() {
  TREVALON_TRACE_QUIET();
  auto lower = getMaster();
  return lower ? lower->getId() : std::string();
}

bool TokenBLEReaderTokenBLECharacteristicsTranslator::isConnected() {
  TREVALON_TRACE_QUIET();
  auto lower = getMaster();
  return lower && lower->isConnected();
}

bool TokenBLEReaderTokenBLECharacteristicsTranslator::isAvailable() {
  TREVALON_TRACE_QUIET();
  auto lower = getMaster();
  return lower && lower->isAvailable();
}

bool TokenBLEReaderTokenBLECharacteristicsTranslator::isPaired() {
  TREVALON_TRACE_QUIET();
  auto lower = getMaster();
  return lower && lower->isPaired();
}

bool TokenBLEReaderTokenBLECharacteristicsTranslator::setPaired(bool paired) {
  TREVALON_TRACE_ARGS(paired ? "true" : "false");
  auto lower = getMaster();
  return lower && lower->setPaired(paired);
}

std::vector<std::vector<uint8_t>> TokenBLEReaderTokenBLECharacteristicsTranslator::chunksOf(
    const std::vector<uint8_t>& request) {
  std::vector<std::vector<uint8_t>> chunks;
  size_t offset = 0;
  for (size_t index = 0; offset < request.size(); ++index) {
    std::vector<uint8_t> chunk{static_cast<uint8_t>(index & 0xFF)};
    if (index == 0) {
      chunk.push_back(static_cast<uint8_t>(request.size() & 0xFF));
      chunk.push_back(static_cast<uint8_t>(request.size() >> 8));
    }
    const size_t taken = std::min(request.size() - offset, kChunkSize - chunk.size());
    chunk.insert(chunk.end(), request.begin() + static_cast<std::ptrdiff_t>(offset),
                 request.begin() + static_cast<std::ptrdiff_t>(offset + taken));
    offset += taken;
    chunks.push_back(std::move(chunk));
  }
  return chunks;
}

bool TokenBLEReaderTokenBLECharacteristicsTranslator::send(TokenBLECharacteristics& characteristics,
                                                           const std::vector<uint8_t>& request) {
  if (request.size() > kMaxRequestSize) {
    TREVALON_LOG(error, "request of %zu bytes is too long", request.size());
    return false;
  }
  // Packets still queued belong to an answer that came too late; they must not start this one.
  characteristics.discardReceived();
  int index = 0;
  for (std::vector<uint8_t>& chunk : chunksOf(request)) {
    if (!characteristics.transmit(std::move(chunk))) {
      TREVALON_LOG(error, "failed to transmit chunk %i", index);
      return false;
    }
    ++index;
  }
  return true;
}

std::vector<uint8_t> TokenBLEReaderTokenBLECharacteristicsTranslator::receiveAnswer(
    TokenBLECharacteristics& characteristics) {
  std::vector<uint8_t> answer;
  size_t expected = 0;
  for (;;) {
    const std::vector<uint8_t> packet = characteristics.receive();
    if (packet.empty() || packet[0] != 0) {
      // -1 stands for the index an empty packet (nothing within the time-out) does not have.
      TREVALON_LOG(error, "Unexpected package %i expected %i", packet.empty() ? -1 : static_cast<int>(packet[0]), 0);
      break;
    }
    if (packet.size() >= kPacketHeaderSize) {
      expected = static_cast<size_t>(packet[1]) | (static_cast<size_t>(packet[2]) << 8);
      answer.insert(answer.end(), packet.begin() + kPacketHeaderSize, packet.end());
    }
    if (answer.size() >= expected) break;
    // A packet that brings nothing cannot complete the answer; a reader repeating it would hold us forever.
    if (packet.size() <= kPacketHeaderSize) {
      TREVALON_LOG(error, "package without answer bytes; %zu of %zu bytes arrived", answer.size(), expected);
      break;
    }
  }
  return answer;
}

std::vector<uint8_t> TokenBLEReaderTokenBLECharacteristicsTranslator::transmitRaw(std::vector<uint8_t> request,
                                                                                  bool encrypt) {
  TREVALON_TRACE_ARGS(TokenFunctions::frameTrace(request) + (encrypt ? ", true" : ", false"));
  std::lock_guard<std::mutex> exchange(exchangeLock);
  std::shared_ptr<TokenBLECharacteristics> characteristics = getMaster();
  if (!characteristics) {
    TREVALON_LOG(error, "no characteristics below");
    return {};
  }
  // An empty request sends nothing: whatever the reader sends next is the answer.
  if (!request.empty() && !send(*characteristics, request)) return {};
  return receiveAnswer(*characteristics);
}

void TokenBLEReaderTokenBLECharacteristicsTranslator::onAvailableChanged(bool available) {
  TREVALON_TRACE_ARGS(available ? "true" : "false");
  notifyObservers(&TokenBLEReaderObserver::onAvailableChanged, available);
}

void TokenBLEReaderTokenBLECharacteristicsTranslator::onConnectedChanged(bool connected) {
  TREVALON_TRACE_ARGS(connected ? "true" : "false");
  notifyObservers(&TokenBLEReaderObserver::onConnectedChanged, connected);
}

}  // namespace trevalon::token
