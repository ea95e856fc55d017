// SPDX-License-Identifier: Apache-2.0
#pragma once
// What makes one emulated PIV card its holder's: the name its certificate is issued to, the PIN and PUK it
// starts with, and how many wrong PINs it takes before the PIN blocks. Scenario files fill it; tests may
// build one directly.

#include <optional>
#include <string>
#include <utility>

namespace kelvo::simulator {

struct PivConfig {
  static constexpr int kMaxTries = 15;      // a retry counter travels in the low nibble of 63 Cx
  static constexpr size_t kMaxHolder = 64;  // the longest common name a certificate may carry

  std::string holder = "Erika Mustermann";
  std::string pin = "123456";    // 6 to 8 digits
  std::string puk = "12345678";  // 8 digits
  int pinTries = 3;              // 1 to kMaxTries

  // The first field that breaks these rules and why, named as in scenario files; empty when all are sound.
  std::optional<std::pair<std::string, std::string>> fault() const;
  static bool isPin(const std::string& text);
  static bool isPuk(const std::string& text);
};

}  // namespace kelvo::simulator
