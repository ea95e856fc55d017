// SPDX-License-Identifier: Apache-2.0
#include "trevalon/sim/LinkModel.h"

#include <algorithm>

namespace trevalon::sim {

namespace {

constexpr size_t kAttHeaderBytes = 3;

}  // namespace

LinkModel::LinkModel(const Parameters& parameters)
    : settings(parameters), slot(parameters.interval / std::max(1, parameters.packetsPerInterval)) {}

size_t LinkModel::packetsFor(size_t valueBytes, size_t mtu) {
  const size_t perPacket = std::max<size_t>(mtu, kAttHeaderBytes + 1);
  return (valueBytes + kAttHeaderBytes + perPacket - 1) / perPacket;
}

LinkModel::Clock::time_point LinkModel::book(Operation operation, size_t valueBytes, Clock::time_point now) {
  std::lock_guard<std::mutex> guard(lock);
  if (!started) {
    started = true;
    origin = now;
    real.free = ideal.free = now;
  }
  place(ideal, operation, valueBytes, ideal.free);
  return place(real, operation, valueBytes, now);
}

std::chrono::microseconds LinkModel::idealTime() const {
  std::lock_guard<std::mutex> guard(lock);
  return std::chrono::duration_cast<std::chrono::microseconds>(ideal.free - origin);
}

LinkModel::Clock::time_point LinkModel::place(Schedule& schedule, Operation operation, size_t valueBytes,
                                              Clock::time_point now) const {
  const Clock::time_point start = std::max(now, schedule.free);
  Clock::time_point done;
  switch (operation) {
    case Operation::notification:
      done = start + slot * static_cast<long>(packetsFor(valueBytes, settings.mtu));
      break;
    case Operation::write:
      done = nextEventAfter(start + slot * static_cast<long>(packetsFor(valueBytes, settings.mtu))) + slot;
      break;
    case Operation::read:
      done = nextEventAfter(start + slot) + slot * static_cast<long>(packetsFor(valueBytes, settings.mtu));
      break;
  }
  schedule.free = done;
  return done;
}

LinkModel::Clock::time_point LinkModel::nextEventAfter(Clock::time_point time) const {
  const auto events = (time - origin) / settings.interval;
  return origin + settings.interval * (events + 1);
}

}  // namespace trevalon::sim
