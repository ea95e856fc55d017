// SPDX-License-Identifier: Apache-2.0
#include "bridge/kelvoctl/BridgeAnswer.h"

#include <algorithm>
#include <cstring>

namespace {

constexpr size_t kHeader = 2;

// Bytes beyond the answer's own length are not part of it.
std::vector<uint8_t> bounded(std::vector<uint8_t> received) {
  if (!received.empty()) received.resize(std::min<size_t>(received.size(), std::max<size_t>(received[0], 1)));
  return received;
}

}  // namespace

BridgeAnswer::BridgeAnswer(std::vector<uint8_t> received) : bytes(bounded(std::move(received))) {}

std::vector<uint8_t> BridgeAnswer::payload() const {
  if (bytes.size() <= kHeader) return {};
  return std::vector<uint8_t>(bytes.begin() + kHeader, bytes.end());
}

bool BridgeAnswer::result(int& value) const {
  if (bytes.size() < 2) return false;
  value = bytes[1];
  return true;
}

bool BridgeAnswer::status(uint16_t& word, uint16_t& connectionId) const {
  if (bytes.size() < 4) return false;
  word = static_cast<uint16_t>(bytes[2] | (bytes[3] << 8));
  connectionId = bytes.size() >= 6 ? static_cast<uint16_t>((bytes[4] << 8) | bytes[5]) : 0;
  return true;
}

bool BridgeAnswer::pairedAddresses(const std::function<void(const uint8_t* address)>& visit) const {
  if (bytes.size() < 2) return false;
  static const uint8_t kNone[kAddressBytes] = {0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF};
  const std::vector<uint8_t> entries = payload();
  for (size_t at = 0; at + kAddressBytes <= entries.size(); at += kAddressBytes) {
    if (std::memcmp(entries.data() + at, kNone, kAddressBytes) != 0) visit(entries.data() + at);
  }
  return true;
}

bool BridgeAnswer::name(std::string& text) const {
  if (bytes.size() < 3) return false;
  const std::vector<uint8_t> characters = payload();
  text.assign(characters.begin(), characters.end());
  return true;
}

bool BridgeAnswer::version(std::string& text) const {
  if (bytes.size() < 3) return false;
  const std::vector<uint8_t> characters = payload();
  text.assign(characters.begin(), characters.end() - 1);
  return true;
}

bool BridgeAnswer::indication(bool& done, uint8_t& controlStatus) const {
  if (bytes.size() < 4) return false;
  done = bytes[2] == 0;
  controlStatus = bytes[3];
  return true;
}

bool BridgeAnswer::rpc(std::vector<uint8_t>& response) const {
  if (bytes.size() < 3 || bytes[1] != kRpcCode) return false;
  response = payload();
  return true;
}
