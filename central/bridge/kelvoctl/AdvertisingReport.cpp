// SPDX-License-Identifier: Apache-2.0
#include "bridge/kelvoctl/AdvertisingReport.h"

#include <algorithm>
#include <cstring>

namespace {

constexpr size_t kAddressOffset = 2;
constexpr size_t kStructuresOffset = 8;
constexpr uint8_t kCompleteUuid128List = 7;
constexpr uint8_t kShortenedName = 8;
constexpr uint8_t kCompleteName = 9;
// {723E2EE5-F0AA-4F13-A557-6B3F0E916803} as Bluetooth carries it, least significant byte first.
constexpr uint8_t kKelvoService[16] = {0x03, 0x68, 0x91, 0x0E, 0x3F, 0x6B, 0x57, 0xA5,
                                       0x13, 0x4F, 0xAA, 0xF0, 0xE5, 0x2E, 0x3E, 0x72};

}  // namespace

bool AdvertisingReport::parse(const uint8_t* message, size_t received, kelvoctl_search_record& record) {
  record = kelvoctl_search_record{};
  if (message == nullptr || received < 2 || message[1] != kCode) return false;
  const size_t end = std::min<size_t>(message[0], received);
  if (end < kMinimumLength) return false;
  std::memcpy(record.address, message + kAddressOffset, sizeof record.address);
  for (size_t at = kStructuresOffset; at < end;) {
    const size_t length = message[at];
    if (length == 0 || at + length >= end) break;
    readStructure(message[at + 1], message + at + 2, length - 1, record);
    at += length + 1;
  }
  return true;
}

void AdvertisingReport::readStructure(uint8_t type, const uint8_t* data, size_t length,
                                      kelvoctl_search_record& record) {
  if (type == kCompleteUuid128List) {
    if (length == sizeof kKelvoService && std::memcmp(data, kKelvoService, length) == 0) record.has_kelvo_service = 1;
  } else if (type == kShortenedName || type == kCompleteName) {
    const size_t kept = std::min(length, sizeof record.name - 1);
    std::memcpy(record.name, data, kept);
    record.name[kept] = '\0';
    record.has_name = 1;
  }
}
