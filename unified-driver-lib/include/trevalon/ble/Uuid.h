// SPDX-License-Identifier: Apache-2.0
#pragma once
// A 128-bit UUID as 16 bytes in the order of its text form ("723e2ee5-f0aa-4f13-a557-6b3f0e916803" starts
// with 0x72). Backends convert to their own layout only at their system calls.

#include <array>
#include <cstdint>
#include <optional>
#include <string>

namespace trevalon::ble {

class Uuid {
 public:
  constexpr Uuid() = default;
  // constexpr, so that the services named in headers are constants, ready before any static initialiser runs.
  constexpr explicit Uuid(const std::array<uint8_t, 16>& bytes) : value(bytes) {}

  // Accepts the 36-character text form in either case; nothing else.
  static std::optional<Uuid> parse(const std::string& text);
  // Lower-case 36-character text form.
  std::string toString() const;

  const std::array<uint8_t, 16>& bytes() const { return value; }

  bool operator==(const Uuid& other) const { return value == other.value; }
  bool operator!=(const Uuid& other) const { return value != other.value; }
  bool operator<(const Uuid& other) const { return value < other.value; }

 private:
  std::array<uint8_t, 16> value{};
};

}  // namespace trevalon::ble
