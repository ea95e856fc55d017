// SPDX-License-Identifier: Apache-2.0
#pragma once
// The campaign's counts: every verdict, the kinds of failure with how often each came, and the wrong and
// unanswered requests in full (the first few of each). Thread-safe.

#include <cstdint>
#include <map>
#include <mutex>
#include <ostream>
#include <string>
#include <vector>

#include "Verdict.h"

namespace kelvo::campaign {

class CampaignTally {
 public:
  void add(const std::string& reader, const Verdict& verdict);

  uint64_t correct() const;
  uint64_t failed() const;
  uint64_t wrong() const;
  uint64_t unanswered() const;
  void report(std::ostream& out, const std::string& title) const;

 private:
  static constexpr size_t kKeptExamples = 20;

  mutable std::mutex lock;
  uint64_t counts[4] = {0, 0, 0, 0};
  std::map<std::string, uint64_t> failures;  // "reader kind: status N" -> how often
  std::vector<std::string> wrongAnswers;
  std::vector<std::string> unansweredRequests;
};

}  // namespace kelvo::campaign
