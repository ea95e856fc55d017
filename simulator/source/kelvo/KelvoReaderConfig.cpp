// SPDX-License-Identifier: Apache-2.0
#include "kelvo/simulator/kelvo/KelvoReaderConfig.h"

namespace kelvo::simulator {
namespace {

const std::map<uint8_t, uint8_t>& defaultSettings() {
  static const std::map<uint8_t, uint8_t> settings = {
      {1, 2}, {2, 1},  {3, 0},  {4, 1},  {5, 3},  {6, 1},  {7, 1},  {8, static_cast<uint8_t>(-70)},
      {9, 0}, {10, 0}, {11, 0}, {12, 0}, {13, 0}, {14, 0}, {15, 0},
  };
  return settings;
}

}  // namespace

KelvoReaderConfig::KelvoReaderConfig() { ranges.fill({-1, -1}); }

std::optional<std::string> KelvoReaderConfig::descriptorValue(const std::string& key) const {
  for (const auto& item : descriptor) {
    if (item.first == key) return item.second;
  }
  return std::nullopt;
}

KelvoReaderConfig KelvoReaderConfig::withDefaults() const {
  KelvoReaderConfig complete = *this;
  const bool second = generation >= 2;
  const std::vector<std::pair<std::string, std::string>> standard = {
      {"Serial", second ? "K2000000001" : "5123456789"},
      {"MAC", address},
      {"Firmware", second ? "2.1.0" : "1.4.2"},
      {"Hardware", second ? "2.0rev1" : "1.2rev3"},
      {"Build", "2026-01-01"},
      {"Bootloader", "1.0"},
  };
  complete.descriptor.clear();
  for (const auto& item : standard) {
    complete.descriptor.emplace_back(item.first, descriptorValue(item.first).value_or(item.second));
  }
  for (const auto& item : descriptor) {
    if (!complete.descriptorValue(item.first)) complete.descriptor.push_back(item);
  }
  for (const auto& setting : defaultSettings()) complete.settings.emplace(setting.first, setting.second);
  return complete;
}

}  // namespace kelvo::simulator
