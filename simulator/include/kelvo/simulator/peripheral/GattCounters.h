// SPDX-License-Identifier: Apache-2.0
#pragma once
// What crossed the air, per characteristic (its 16-bit id) and kind of operation, so a test can assert that
// something caused no radio traffic at all.

#include <cstdint>
#include <map>
#include <mutex>
#include <utility>

namespace kelvo::simulator {

class GattCounters {
 public:
  enum class Operation { read, write, subscribe, notify };

  GattCounters() = default;
  GattCounters(const GattCounters& other);
  GattCounters& operator=(const GattCounters& other);

  void count(uint16_t characteristic, Operation operation);
  size_t get(uint16_t characteristic, Operation operation) const;
  size_t reads(uint16_t characteristic) const { return get(characteristic, Operation::read); }
  size_t writes(uint16_t characteristic) const { return get(characteristic, Operation::write); }
  size_t notifications(uint16_t characteristic) const { return get(characteristic, Operation::notify); }
  // Every operation of every characteristic.
  size_t total() const;
  void reset();

 private:
  std::map<std::pair<uint16_t, Operation>, size_t> counts;
  mutable std::mutex lock;
};

}  // namespace kelvo::simulator
