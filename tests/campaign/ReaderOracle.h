// SPDX-License-Identifier: Apache-2.0
#pragma once
// The emulator's own answer to a request that changes nothing, computed by the emulator's RPC table on a copy
// of the reader's configuration: the campaign compares the driver's answers with what the reader says, in the
// reader's encoding, without sharing a line with the host's layers.

#include <cstdint>
#include <vector>

#include "kelvo/simulator/kelvo/KelvoReaderConfig.h"
#include "kelvo/simulator/kelvo/KelvoReaderLinkCrypto.h"
#include "kelvo/simulator/kelvo/KelvoReaderPacketTransfer.h"
#include "kelvo/simulator/kelvo/KelvoReaderRpcTable.h"

namespace kelvo::campaign {

class ReaderOracle {
 public:
  explicit ReaderOracle(const simulator::KelvoReaderConfig& config);
  ReaderOracle(const ReaderOracle&) = delete;
  ReaderOracle& operator=(const ReaderOracle&) = delete;

  // [status, payload...] as the reader answers the plain request [method, payload...].
  std::vector<uint8_t> answer(const std::vector<uint8_t>& request) const;
  const simulator::KelvoReaderState& initialState() const { return table.state(); }

 private:
  simulator::KelvoReaderLinkCrypto crypto;
  simulator::KelvoReaderPacketTransfer transfer;
  mutable simulator::KelvoReaderRpcTable table;
};

}  // namespace kelvo::campaign
