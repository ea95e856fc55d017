// SPDX-License-Identifier: Apache-2.0
#include "ScenarioFields.h"

#include <algorithm>
#include <cctype>

namespace kelvo::simulator::scenario_fields {

[[noreturn]] void fail(const std::string& where, const std::string& what) { throw ScenarioError(where + ": " + what); }

void onlyFields(const nlohmann::json& object, const std::string& where, const std::set<std::string>& allowed) {
  if (!object.is_object()) fail(where, "expected an object");
  for (auto item = object.begin(); item != object.end(); ++item) {
    if (allowed.count(item.key()) == 0) fail(where, "unknown field '" + item.key() + "'");
  }
}

int64_t integer(const nlohmann::json& value, const std::string& where, int64_t low, int64_t high) {
  if (!value.is_number_integer()) fail(where, "expected an integer");
  // Numbers past the signed range would wrap into it when read as signed.
  if (value.is_number_unsigned() && value.get<uint64_t>() > static_cast<uint64_t>(high)) {
    fail(where, "value " + std::to_string(value.get<uint64_t>()) + " is outside " + std::to_string(low) + ".." +
                    std::to_string(high));
  }
  const int64_t number = value.get<int64_t>();
  if (number < low || number > high) {
    fail(where, "value " + std::to_string(number) + " is outside " + std::to_string(low) + ".." + std::to_string(high));
  }
  return number;
}

std::string text(const nlohmann::json& value, const std::string& where) {
  if (!value.is_string()) fail(where, "expected a string");
  return value.get<std::string>();
}

bool isHexDigit(char c) { return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F'); }

std::vector<uint8_t> hexBytes(const nlohmann::json& value, const std::string& where) {
  const std::string digits = text(value, where);
  if (digits.empty() || digits.size() % 2 != 0 || !std::all_of(digits.begin(), digits.end(), isHexDigit)) {
    fail(where, "expected an even number of hexadecimal digits");
  }
  std::vector<uint8_t> bytes;
  for (size_t i = 0; i < digits.size(); i += 2) {
    bytes.push_back(static_cast<uint8_t>(std::stoi(digits.substr(i, 2), nullptr, 16)));
  }
  return bytes;
}

std::string address(const nlohmann::json& value, const std::string& where) {
  std::string digits = text(value, where);
  if (digits.size() != 12 || !std::all_of(digits.begin(), digits.end(), isHexDigit)) {
    fail(where, "expected 12 hexadecimal digits, got '" + digits + "'");
  }
  std::transform(digits.begin(), digits.end(), digits.begin(),
                 [](char c) { return static_cast<char>(std::tolower(c)); });
  return digits;
}

namespace {

// Every field may be left out; the defaults make the card of the documentation's examples.
PivConfig piv(const nlohmann::json& value, const std::string& where) {
  onlyFields(value, where, {"holder", "pin", "puk", "pin-tries"});
  PivConfig config;
  if (value.contains("holder")) config.holder = text(value["holder"], where + ".holder");
  if (value.contains("pin")) config.pin = text(value["pin"], where + ".pin");
  if (value.contains("puk")) config.puk = text(value["puk"], where + ".puk");
  if (value.contains("pin-tries")) {
    config.pinTries = static_cast<int>(integer(value["pin-tries"], where + ".pin-tries", 1, PivConfig::kMaxTries));
  }
  // The reasons name the rule, never the value: a PIN must not reach a log through an error message.
  if (auto fault = config.fault()) fail(where + "." + fault->first, fault->second);
  return config;
}

}  // namespace

std::optional<CardFields> card(const nlohmann::json& value, const std::string& where) {
  if (value.is_null()) return std::nullopt;
  onlyFields(value, where, {"atr", "piv"});
  if (!value.contains("atr")) fail(where, "needs 'atr'");
  CardFields fields;
  fields.atr = hexBytes(value["atr"], where + ".atr");
  if (fields.atr.size() < 2 || fields.atr.size() > 33) fail(where + ".atr", "an ATR has 2 to 33 bytes");
  if (value.contains("piv")) fields.piv = piv(value["piv"], where + ".piv");
  return fields;
}

}  // namespace kelvo::simulator::scenario_fields
