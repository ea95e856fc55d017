// SPDX-License-Identifier: Apache-2.0
#include "kelvo/simulator/peripheral/PivConfig.h"

#include <algorithm>

namespace kelvo::simulator {
namespace {

bool allDigits(const std::string& text) {
  return std::all_of(text.begin(), text.end(), [](char c) { return c >= '0' && c <= '9'; });
}

// Characters, not bytes: UTF-8 continuation bytes are not counted.
size_t characters(const std::string& text) {
  return static_cast<size_t>(
      std::count_if(text.begin(), text.end(), [](char c) { return (static_cast<unsigned char>(c) & 0xC0) != 0x80; }));
}

}  // namespace

bool PivConfig::isPin(const std::string& text) { return text.size() >= 6 && text.size() <= 8 && allDigits(text); }

bool PivConfig::isPuk(const std::string& text) { return text.size() == 8 && allDigits(text); }

std::optional<std::pair<std::string, std::string>> PivConfig::fault() const {
  if (holder.empty() || characters(holder) > kMaxHolder) {
    return std::make_pair("holder", "a holder's name has 1 to " + std::to_string(kMaxHolder) + " characters");
  }
  if (!isPin(pin)) return std::make_pair("pin", std::string("a PIN has 6 to 8 digits"));
  if (!isPuk(puk)) return std::make_pair("puk", std::string("a PUK has 8 digits"));
  if (pinTries < 1 || pinTries > kMaxTries) {
    return std::make_pair("pin-tries", "the PIN allows 1 to " + std::to_string(kMaxTries) + " tries");
  }
  return std::nullopt;
}

}  // namespace kelvo::simulator
