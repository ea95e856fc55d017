// SPDX-License-Identifier: Apache-2.0
#pragma once
// Strict readers of scenario-file values, shared by every device family: each names the place of a fault in the
// ScenarioError it throws.

#include <cstdint>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "kelvo/simulator/peripheral/PivConfig.h"
#include "kelvo/simulator/scenario/ScenarioLoader.h"

namespace kelvo::simulator::scenario_fields {

[[noreturn]] void fail(const std::string& where, const std::string& what);
// Refuses anything but an object whose fields are all in `allowed`.
void onlyFields(const nlohmann::json& object, const std::string& where, const std::set<std::string>& allowed);
int64_t integer(const nlohmann::json& value, const std::string& where, int64_t low, int64_t high);
std::string text(const nlohmann::json& value, const std::string& where);
bool isHexDigit(char c);
// An even, non-zero number of hexadecimal digits.
std::vector<uint8_t> hexBytes(const nlohmann::json& value, const std::string& where);
// 12 hexadecimal digits, returned in lower case.
std::string address(const nlohmann::json& value, const std::string& where);

struct CardFields {
  std::vector<uint8_t> atr;
  std::optional<PivConfig> piv;
};
// "card": { "atr": "3B8180018080", "piv": { "holder": ..., "pin": ..., "puk": ..., "pin-tries": 3 } }, the same
// for every family; empty for null, which stands for no card.
std::optional<CardFields> card(const nlohmann::json& value, const std::string& where);

}  // namespace kelvo::simulator::scenario_fields
