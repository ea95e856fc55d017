// SPDX-License-Identifier: Apache-2.0
#pragma once
// The timing of one BLE link on the simulated radio, off unless a scenario asks for it. The link has connection
// events one interval apart and room for a number of packets in each, one slot of interval / packets each; a value
// goes out in ceil((bytes + 3) / MTU) packets (the 3 bytes of the ATT header). A notification is done when its
// packets are out; a write or a read waits for the peer's response, which comes in the connection event after the
// last packet of the request (a read's value with it).
//
// Both the real schedule (operations as the stack asks for them) and an ideal one (each operation asked the moment
// the one before it completed) are kept, so a benchmark can tell the stack's time from what the link alone needs.

#include <chrono>
#include <cstddef>
#include <mutex>

namespace trevalon::sim {

class LinkModel {
 public:
  using Clock = std::chrono::steady_clock;

  struct Parameters {
    std::chrono::microseconds interval{7500};
    int packetsPerInterval = 4;
    size_t mtu = 247;
  };

  enum class Operation { write, read, notification };

  explicit LinkModel(const Parameters& parameters);

  // Books the operation on the link as asked at `now`; gives the time it is done there.
  Clock::time_point book(Operation operation, size_t valueBytes, Clock::time_point now);
  // What the link alone needs for everything booked so far, from the first booking.
  std::chrono::microseconds idealTime() const;
  const Parameters& parameters() const { return settings; }

  static size_t packetsFor(size_t valueBytes, size_t mtu);

 private:
  struct Schedule {
    Clock::time_point free;  // when the link has sent everything booked
  };
  Clock::time_point place(Schedule& schedule, Operation operation, size_t valueBytes, Clock::time_point now) const;
  // The first connection event strictly after `time`.
  Clock::time_point nextEventAfter(Clock::time_point time) const;

  const Parameters settings;
  const Clock::duration slot;
  mutable std::mutex lock;
  bool started = false;
  Clock::time_point origin;
  Schedule real;
  Schedule ideal;
};

}  // namespace trevalon::sim
