// SPDX-License-Identifier: Apache-2.0
#include "RequestMix.h"

#include <array>
#include <utility>

namespace kelvo::campaign {
namespace {

using Kind = CampaignRequest::Kind;

constexpr uint8_t kDescriptor = 1;
constexpr uint8_t kDeviceState = 2;
constexpr uint8_t kSetSetting = 3;
constexpr uint8_t kSetRanges = 4;
constexpr uint8_t kTransmitRpc = 5;
constexpr uint8_t kIndicate = 6;
constexpr uint8_t kDriverVersion = 16;
constexpr int kMinutesPerWeek = 7 * 24 * 60;

// Weights out of 100: reads and writes of what the campaign can check, a little of the rest.
const std::array<std::pair<Kind, int>, 12>& weights() {
  static const std::array<std::pair<Kind, int>, 12> table = {{
      {Kind::descriptor, 12},
      {Kind::deviceState, 8},
      {Kind::setSetting, 14},
      {Kind::setRanges, 6},
      {Kind::indicate, 5},
      {Kind::readSettings, 16},
      {Kind::readRanges, 8},
      {Kind::batteryLevel, 10},
      {Kind::batteryState, 6},
      {Kind::readerState, 8},
      {Kind::smartCard, 4},
      {Kind::driverVersion, 3},
  }};
  return table;
}

void putLittleEndian(std::vector<uint8_t>& bytes, int16_t value) {
  bytes.push_back(static_cast<uint8_t>(static_cast<uint16_t>(value) & 0xFF));
  bytes.push_back(static_cast<uint8_t>(static_cast<uint16_t>(value) >> 8));
}

}  // namespace

RequestMix::RequestMix(uint64_t seed, size_t thread, size_t threads, size_t readers)
    : generator(seed), thread(thread), threads(threads), readers(readers) {}

Kind RequestMix::drawKind(size_t reader) {
  int draw = static_cast<int>(below(100));
  for (const auto& [kind, weight] : weights()) {
    if (draw < weight) {
      // Ranges of a reader another thread owns are read, not written.
      if (kind == Kind::setRanges && reader % threads != thread) return Kind::readRanges;
      return kind;
    }
    draw -= weight;
  }
  return Kind::descriptor;
}

std::vector<uint8_t> RequestMix::drawRanges() {
  std::vector<uint8_t> record;
  for (int day = 0; day < 7; ++day) {
    if (below(3) == 0) {
      putLittleEndian(record, -1);
      putLittleEndian(record, -1);
      continue;
    }
    const auto start = static_cast<int16_t>(below(kMinutesPerWeek));
    const auto end = static_cast<int16_t>(start + below(static_cast<uint64_t>(kMinutesPerWeek - start)));
    putLittleEndian(record, start);
    putLittleEndian(record, end);
  }
  return record;
}

CampaignRequest RequestMix::next() {
  CampaignRequest request;
  request.reader = static_cast<size_t>(below(readers));
  request.kind = drawKind(request.reader);
  switch (request.kind) {
    case Kind::descriptor:
      request.bytes = {kDescriptor};
      break;
    case Kind::deviceState:
      request.bytes = {kDeviceState};
      break;
    case Kind::setSetting:
      request.settingId = ownedSetting(thread);
      request.value = {static_cast<uint8_t>(below(256))};
      request.bytes = {kSetSetting, request.settingId, request.value[0]};
      break;
    case Kind::setRanges:
      request.value = drawRanges();
      request.bytes = {kSetRanges};
      request.bytes.insert(request.bytes.end(), request.value.begin(), request.value.end());
      break;
    case Kind::indicate: {
      // Commands that only make the reader repeat a notification: card status, encryption, USB cable.
      static const std::array<uint8_t, 3> harmless = {1, 3, 6};
      request.bytes = {kIndicate, harmless[below(harmless.size())], 0, 0};
      break;
    }
    case Kind::readSettings:
      request.bytes = {kTransmitRpc, 8};
      break;
    case Kind::readRanges:
      request.bytes = {kTransmitRpc, 11};
      break;
    case Kind::batteryLevel:
      request.bytes = {kTransmitRpc, 5};
      break;
    case Kind::batteryState:
      request.bytes = {kTransmitRpc, 17};
      break;
    case Kind::readerState:
      request.bytes = {kTransmitRpc, 13};
      break;
    case Kind::smartCard:
      // An APDU (kind 5) selecting an application by name.
      request.bytes = {kTransmitRpc, 2, 5, 0x00, 0xA4, 0x04, 0x00, 0x02, 0xF0, 0x01};
      break;
    case Kind::driverVersion:
      request.bytes = {kDriverVersion};
      break;
  }
  return request;
}

}  // namespace kelvo::campaign
