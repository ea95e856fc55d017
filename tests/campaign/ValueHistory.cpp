// SPDX-License-Identifier: Apache-2.0
#include "ValueHistory.h"

#include <cstdio>

namespace kelvo::campaign {
namespace {

std::string hex(const ValueHistory::Value& value) {
  std::string text;
  char digits[3];
  for (uint8_t byte : value) {
    std::snprintf(digits, sizeof digits, "%02x", byte);
    text += digits;
  }
  return text;
}

}  // namespace

ValueHistory::ValueHistory(Value initial) { entries.push_back({std::move(initial), 0, std::nullopt}); }

uint64_t ValueHistory::mark() {
  std::lock_guard<std::mutex> guard(lock);
  return ++clock;
}

void ValueHistory::beginWrite(const Value& value) {
  std::lock_guard<std::mutex> guard(lock);
  entries.push_back({value, ++clock, std::nullopt});
}

void ValueHistory::confirmWrite(const Value& value) {
  std::lock_guard<std::mutex> guard(lock);
  const uint64_t now = ++clock;
  bool kept = false;
  for (Entry& entry : entries) {
    if (entry.died) continue;
    // One entry of the confirmed value stays alive; every other candidate ends here.
    if (entry.value == value && !kept) {
      kept = true;
      continue;
    }
    entry.died = now;
  }
  if (!kept) entries.push_back({value, now, std::nullopt});
  // Dead entries are kept: a read that began before this moment may still show them.
}

bool ValueHistory::wasPossible(const Value& value, uint64_t since) {
  std::lock_guard<std::mutex> guard(lock);
  for (const Entry& entry : entries) {
    if (entry.value == value && (!entry.died || *entry.died >= since)) return true;
  }
  return false;
}

std::vector<ValueHistory::Value> ValueHistory::possibleNow() {
  std::lock_guard<std::mutex> guard(lock);
  std::vector<Value> alive;
  for (const Entry& entry : entries) {
    if (!entry.died) alive.push_back(entry.value);
  }
  return alive;
}

std::string ValueHistory::describe(uint64_t since) {
  std::lock_guard<std::mutex> guard(lock);
  std::string text;
  for (const Entry& entry : entries) {
    if (entry.died && *entry.died < since) continue;
    text += (text.empty() ? "" : "|") + hex(entry.value);
  }
  return "{" + text + "}";
}

}  // namespace kelvo::campaign
