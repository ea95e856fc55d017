// SPDX-License-Identifier: Apache-2.0
#include "ReaderTruth.h"

#include <stdexcept>

namespace kelvo::campaign {
namespace {

ValueHistory::Value rangesBytes(const std::array<std::pair<int16_t, int16_t>, 7>& ranges) {
  ValueHistory::Value bytes;
  for (const auto& day : ranges) {
    for (int16_t value : {day.first, day.second}) {
      bytes.push_back(static_cast<uint8_t>(value & 0xFF));
      bytes.push_back(static_cast<uint8_t>((value >> 8) & 0xFF));
    }
  }
  return bytes;
}

}  // namespace

ReaderTruth::ReaderTruth(const simulator::KelvoReaderConfig& config, const std::string& label)
    : readerAddress(config.address),
      readerLabel(label),
      fixed(config),
      rangesHistory(rangesBytes(fixed.initialState().ranges)) {
  for (uint8_t id = 1; id <= 15; ++id) {
    const auto& held = fixed.initialState().settings;
    auto found = held.find(id);
    // An id the reader does not hold reads as absent: an empty value.
    ValueHistory::Value initial = found == held.end() ? ValueHistory::Value{} : ValueHistory::Value{found->second};
    settings.emplace(id, std::make_unique<ValueHistory>(initial));
  }
}

ValueHistory& ReaderTruth::setting(uint8_t id) {
  auto found = settings.find(id);
  if (found == settings.end()) throw std::out_of_range("no setting " + std::to_string(id));
  return *found->second;
}

std::map<uint8_t, uint64_t> ReaderTruth::markSettings() {
  std::map<uint8_t, uint64_t> marks;
  for (auto& entry : settings) marks[entry.first] = entry.second->mark();
  return marks;
}

}  // namespace kelvo::campaign
