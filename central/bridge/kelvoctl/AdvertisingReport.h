// SPDX-License-Identifier: Apache-2.0
#pragma once
// One advertising report of a Bridge search (code 0x88): [length][0x88][address, 6 bytes][advertising-data
// structures, each [len][type][len - 1 bytes]]. Read within the bytes that arrived and the message's own length,
// whichever is shorter; parsing stops at the first structure that would reach past the end, and what was found
// before it stands. Type 7 (complete 128-bit UUID list) holding exactly the Kelvo service marks the reader as a
// Kelvo reader; type 8 or 9 (shortened or complete local name) gives its name.

#include <cstddef>
#include <cstdint>

#include "bridge/kelvoctl/kelvoctl.h"

class AdvertisingReport {
 public:
  static constexpr uint8_t kCode = 0x88;
  static constexpr uint8_t kEndCode = 0x89;
  static constexpr size_t kMinimumLength = 9;

  // False when the bytes are not an advertising report; otherwise the record holds what the report says.
  static bool parse(const uint8_t* message, size_t received, kelvoctl_search_record& record);

 private:
  static void readStructure(uint8_t type, const uint8_t* data, size_t length, kelvoctl_search_record& record);
};
