// SPDX-License-Identifier: Apache-2.0
#include "kelvo/simulator/kelvo/KelvoReaderPacketTransfer.h"

namespace kelvo::simulator {
namespace {

constexpr size_t kHeaderLength = 4;
constexpr size_t kMaxLength = 0xFFFF;

uint16_t littleEndian16(const std::vector<uint8_t>& value, size_t at) {
  return static_cast<uint16_t>(value[at] | value[at + 1] << 8);
}

}  // namespace

bool KelvoReaderPacketTransfer::prepare(const std::vector<uint8_t>& value) {
  announced.reset();
  received.clear();
  if (value.size() != 2 || littleEndian16(value, 0) == 0) return false;
  announced = littleEndian16(value, 0);
  return true;
}

KelvoReaderPacketTransfer::InputResult KelvoReaderPacketTransfer::input(const std::vector<uint8_t>& value,
                                                                        std::vector<uint8_t>& request) {
  if (!announced || value.empty() || received.size() + value.size() > *announced) {
    // Input without an announcement, or more than announced: the exchange is dropped.
    announced.reset();
    received.clear();
    return InputResult::refused;
  }
  received.insert(received.end(), value.begin(), value.end());
  if (received.size() < *announced) return InputResult::partial;
  request.swap(received);
  received.clear();
  announced.reset();
  return InputResult::complete;
}

std::optional<std::vector<uint8_t>> KelvoReaderPacketTransfer::transmit(const std::vector<uint8_t>& value) {
  announced.reset();
  received.clear();
  if (value.size() < 3 || value.size() > kMaxWrite) return std::nullopt;
  if (littleEndian16(value, 0) != value.size() - 2) return std::nullopt;
  return std::vector<uint8_t>(value.begin() + 2, value.end());
}

std::vector<uint8_t> KelvoReaderPacketTransfer::process2Value(const std::vector<uint8_t>& response) const {
  return {static_cast<uint8_t>(response.size()), static_cast<uint8_t>(response.size() >> 8), 1,
          static_cast<uint8_t>(packSize)};
}

KelvoReaderPacketTransfer::Packages KelvoReaderPacketTransfer::packages(const std::vector<uint8_t>& response,
                                                                        Framing framing) const {
  std::vector<uint8_t> buffer;
  if (framing == Framing::oneWrite) {
    const size_t total = response.size() + kHeaderLength;
    if (total > kMaxLength) return {};
    buffer = {static_cast<uint8_t>(total), static_cast<uint8_t>(total >> 8), 1, static_cast<uint8_t>(packSize)};
  } else if (response.size() > kMaxLength) {
    return {};
  }
  buffer.insert(buffer.end(), response.begin(), response.end());
  const size_t count = (buffer.size() + packSize - 1) / packSize;
  if (count > kMaxPackages) return {};
  Packages result;
  for (size_t index = 0; index < count; ++index) {
    std::vector<uint8_t> package{static_cast<uint8_t>(index)};
    const size_t start = index * packSize;
    const size_t end = std::min(buffer.size(), start + packSize);
    package.insert(package.end(), buffer.begin() + static_cast<long>(start), buffer.begin() + static_cast<long>(end));
    result.push_back(std::move(package));
  }
  return result;
}

void KelvoReaderPacketTransfer::reset() {
  announced.reset();
  received.clear();
  packSize = kInitialPack;
}

}  // namespace kelvo::simulator
