// SPDX-License-Identifier: Apache-2.0
#pragma once
// Every value one field of a reader (a setting, the working-time ranges) may hold, over time. A write makes its
// value possible from the moment it is sent; a confirmed write makes it the only one; a failed write leaves it
// possible, since the reader may have taken it before its answer was lost. A read that ran from `since` to now is
// right when it shows a value that was possible at some moment in between. Thread-safe.

#include <cstdint>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

namespace kelvo::campaign {

class ValueHistory {
 public:
  using Value = std::vector<uint8_t>;

  explicit ValueHistory(Value initial);

  // A moment to pass to wasPossible() later.
  uint64_t mark();
  void beginWrite(const Value& value);
  void confirmWrite(const Value& value);
  bool wasPossible(const Value& value, uint64_t since);
  std::vector<Value> possibleNow();
  // The possible values, for messages.
  std::string describe(uint64_t since);

 private:
  struct Entry {
    Value value;
    uint64_t born = 0;
    std::optional<uint64_t> died;
  };

  std::mutex lock;
  uint64_t clock = 0;
  std::vector<Entry> entries;
};

}  // namespace kelvo::campaign
