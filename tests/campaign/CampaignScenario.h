// SPDX-License-Identifier: Apache-2.0
#pragma once
// The campaign's readers: both generations, each once with session keys (CCM) and once in the long-term mode
// (AES-ECB, quirk no-session-key), each with a card. The same text is the driver's scenario file and the source of
// the campaign's truth.

#include <string>
#include <vector>

#include "kelvo/simulator/kelvo/KelvoReaderConfig.h"

namespace kelvo::campaign {

class CampaignScenario {
 public:
  CampaignScenario();

  const std::string& json() const { return text; }
  void writeTo(const std::string& path) const;
  const std::vector<simulator::KelvoReaderConfig>& readers() const { return configs; }
  // "gen1-ccm", "gen2-ecb", ...
  static std::string labelOf(const simulator::KelvoReaderConfig& reader);

 private:
  std::string text;
  std::vector<simulator::KelvoReaderConfig> configs;
};

}  // namespace kelvo::campaign
