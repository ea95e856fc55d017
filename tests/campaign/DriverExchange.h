// SPDX-License-Identifier: Apache-2.0
#pragma once
// One request to a reader's socket of kelvo-driver and whatever came back within a deadline, told apart the way
// the campaign counts it: no connection, no answer in time, a close without a byte, or an answer.

#include <chrono>
#include <cstdint>
#include <string>
#include <vector>

namespace kelvo::campaign {

struct DriverExchange {
  enum class Outcome { answered, notConnected, closedEmpty, timedOut };

  Outcome outcome = Outcome::notConnected;
  std::vector<uint8_t> answer;  // [status][payload] when answered
  int error = 0;                // errno of a failed connection
  std::chrono::milliseconds took{0};

  static DriverExchange run(const std::string& socketPath, const std::vector<uint8_t>& request,
                            std::chrono::milliseconds deadline);
};

}  // namespace kelvo::campaign
