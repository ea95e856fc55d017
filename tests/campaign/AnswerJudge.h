// SPDX-License-Identifier: Apache-2.0
#pragma once
// Classifies every answer of the driver against the truth of the campaign's readers. Before a request goes out
// the judge is told (prepare), so that a write is possible from that moment and a read knows since when its
// answer may date; after the answer it gives the verdict and confirms what a successful write changed.

#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "CampaignRequest.h"
#include "DriverExchange.h"
#include "ReaderTruth.h"
#include "Verdict.h"

namespace kelvo::campaign {

class AnswerJudge {
 public:
  // Marks taken when the request went out.
  struct Pending {
    std::map<uint8_t, uint64_t> settings;
    uint64_t ranges = 0;
  };

  AnswerJudge(std::vector<std::unique_ptr<ReaderTruth>>& truths, std::string driverVersion);

  Pending prepare(const CampaignRequest& request);
  Verdict judge(const CampaignRequest& request, const Pending& pending, const DriverExchange& exchange);

 private:
  Verdict judgeAnswer(const CampaignRequest& request, const Pending& pending, uint8_t status,
                      const std::vector<uint8_t>& payload);
  Verdict judgeWrite(const CampaignRequest& request, const std::vector<uint8_t>& payload);
  Verdict judgeRpc(const CampaignRequest& request, const Pending& pending, const std::vector<uint8_t>& payload);
  Verdict judgeSettings(ReaderTruth& truth, const Pending& pending, const std::vector<uint8_t>& payload);
  Verdict judgeRecord(ReaderTruth& truth, const std::vector<uint8_t>& record);
  static Verdict sameAs(const std::vector<uint8_t>& expected, const std::vector<uint8_t>& got);

  std::vector<std::unique_ptr<ReaderTruth>>& truths;
  const std::string version;
};

}  // namespace kelvo::campaign
