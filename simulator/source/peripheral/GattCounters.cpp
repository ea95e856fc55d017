// SPDX-License-Identifier: Apache-2.0
#include "kelvo/simulator/peripheral/GattCounters.h"

namespace kelvo::simulator {

GattCounters::GattCounters(const GattCounters& other) {
  std::lock_guard<std::mutex> guard(other.lock);
  counts = other.counts;
}

GattCounters& GattCounters::operator=(const GattCounters& other) {
  if (this == &other) return *this;
  std::map<std::pair<uint16_t, Operation>, size_t> copy;
  {
    std::lock_guard<std::mutex> guard(other.lock);
    copy = other.counts;
  }
  std::lock_guard<std::mutex> guard(lock);
  counts = std::move(copy);
  return *this;
}

void GattCounters::count(uint16_t characteristic, Operation operation) {
  std::lock_guard<std::mutex> guard(lock);
  ++counts[{characteristic, operation}];
}

size_t GattCounters::get(uint16_t characteristic, Operation operation) const {
  std::lock_guard<std::mutex> guard(lock);
  auto found = counts.find({characteristic, operation});
  return found == counts.end() ? 0 : found->second;
}

size_t GattCounters::total() const {
  std::lock_guard<std::mutex> guard(lock);
  size_t sum = 0;
  for (const auto& entry : counts) sum += entry.second;
  return sum;
}

void GattCounters::reset() {
  std::lock_guard<std::mutex> guard(lock);
  counts.clear();
}

}  // namespace kelvo::simulator
