// SPDX-License-Identifier: Apache-2.0
#pragma once
// What one emulated reader holds while the campaign runs: its fixed answers (from the emulator's own table) and
// the history of every field the campaign writes. Each written field has one owner thread, so the history of a
// field only ever sees one write at a time, while reads come from every thread.

#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "ReaderOracle.h"
#include "ValueHistory.h"
#include "kelvo/simulator/kelvo/KelvoReaderConfig.h"

namespace kelvo::campaign {

class ReaderTruth {
 public:
  ReaderTruth(const simulator::KelvoReaderConfig& config, const std::string& label);

  const std::string& address() const { return readerAddress; }
  const std::string& label() const { return readerLabel; }
  const ReaderOracle& oracle() const { return fixed; }
  const simulator::KelvoReaderState& initialState() const { return fixed.initialState(); }

  // Setting ids 1 to 15; every id has a history, written or not.
  ValueHistory& setting(uint8_t id);
  ValueHistory& ranges() { return rangesHistory; }
  // The settings as marks taken before a read: one per id.
  std::map<uint8_t, uint64_t> markSettings();

 private:
  const std::string readerAddress;
  const std::string readerLabel;
  ReaderOracle fixed;
  std::map<uint8_t, std::unique_ptr<ValueHistory>> settings;
  ValueHistory rangesHistory;
};

}  // namespace kelvo::campaign
