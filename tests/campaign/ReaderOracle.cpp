// SPDX-License-Identifier: Apache-2.0
#include "ReaderOracle.h"

namespace kelvo::campaign {

ReaderOracle::ReaderOracle(const simulator::KelvoReaderConfig& config) : table(config, crypto, transfer) {}

std::vector<uint8_t> ReaderOracle::answer(const std::vector<uint8_t>& request) const {
  simulator::ReaderOutbox ignored;
  return table.handle(request, ignored);
}

}  // namespace kelvo::campaign
