// SPDX-License-Identifier: Apache-2.0
#include "CampaignTally.h"

namespace kelvo::campaign {

void CampaignTally::add(const std::string& reader, const Verdict& verdict) {
  std::lock_guard<std::mutex> guard(lock);
  ++counts[static_cast<int>(verdict.kind)];
  const std::string line = reader + " " + verdict.what;
  switch (verdict.kind) {
    case Verdict::Kind::correct:
      break;
    case Verdict::Kind::failed:
      ++failures[line];
      break;
    case Verdict::Kind::wrong:
      if (wrongAnswers.size() < kKeptExamples) wrongAnswers.push_back(line);
      break;
    case Verdict::Kind::unanswered:
      if (unansweredRequests.size() < kKeptExamples) unansweredRequests.push_back(line);
      break;
  }
}

uint64_t CampaignTally::correct() const {
  std::lock_guard<std::mutex> guard(lock);
  return counts[static_cast<int>(Verdict::Kind::correct)];
}

uint64_t CampaignTally::failed() const {
  std::lock_guard<std::mutex> guard(lock);
  return counts[static_cast<int>(Verdict::Kind::failed)];
}

uint64_t CampaignTally::wrong() const {
  std::lock_guard<std::mutex> guard(lock);
  return counts[static_cast<int>(Verdict::Kind::wrong)];
}

uint64_t CampaignTally::unanswered() const {
  std::lock_guard<std::mutex> guard(lock);
  return counts[static_cast<int>(Verdict::Kind::unanswered)];
}

void CampaignTally::report(std::ostream& out, const std::string& title) const {
  std::lock_guard<std::mutex> guard(lock);
  if (failures.empty() && wrongAnswers.empty() && unansweredRequests.empty()) return;
  out << title << ":\n";
  for (const auto& [line, count] : failures) out << "  failed " << count << "x  " << line << "\n";
  for (const std::string& line : wrongAnswers) out << "  WRONG  " << line << "\n";
  for (const std::string& line : unansweredRequests) out << "  UNANSWERED  " << line << "\n";
}

}  // namespace kelvo::campaign
