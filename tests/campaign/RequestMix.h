// SPDX-License-Identifier: Apache-2.0
#pragma once
// Draws the campaign's mixed requests for one client thread from that thread's seeded generator. A thread writes
// only what it owns: its own setting id on every reader (9 + thread number), and the working-time ranges of the
// readers whose index modulo the thread count is its number. So the truth of a written field never depends on
// which of two writers the scheduler let through first.

#include <cstdint>
#include <random>

#include "CampaignRequest.h"

namespace kelvo::campaign {

class RequestMix {
 public:
  static constexpr size_t kMaxThreads = 6;  // owned setting ids 9 to 14

  RequestMix(uint64_t seed, size_t thread, size_t threads, size_t readers);

  CampaignRequest next();
  static uint8_t ownedSetting(size_t thread) { return static_cast<uint8_t>(9 + thread); }

 private:
  CampaignRequest::Kind drawKind(size_t reader);
  std::vector<uint8_t> drawRanges();
  uint64_t below(uint64_t bound) { return generator() % bound; }

  std::mt19937_64 generator;
  const size_t thread;
  const size_t threads;
  const size_t readers;
};

}  // namespace kelvo::campaign
