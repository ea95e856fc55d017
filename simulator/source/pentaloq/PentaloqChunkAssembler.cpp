// SPDX-License-Identifier: Apache-2.0
#include "kelvo/simulator/pentaloq/PentaloqChunkAssembler.h"

namespace kelvo::simulator {

PentaloqChunkAssembler::Result PentaloqChunkAssembler::add(const std::vector<uint8_t>& chunk,
                                                           std::vector<uint8_t>& request) {
  if (chunk.empty()) return Result::refused;
  if (chunk[0] == 0 && chunk.size() >= 3) {
    // A first chunk always starts a new request, whatever was left of an earlier one.
    total = chunk[1] | (static_cast<size_t>(chunk[2]) << 8);
    if (total == 0) {
      reset();
      return Result::refused;
    }
    gathered.assign(chunk.begin() + 3, chunk.end());
    chunks = 1;
    assembling = true;
  } else if (assembling && chunk[0] == static_cast<uint8_t>(chunks & 0xFF)) {
    gathered.insert(gathered.end(), chunk.begin() + 1, chunk.end());
    ++chunks;
  } else {
    reset();
    return Result::refused;
  }
  if (gathered.size() < total) return Result::partial;
  gathered.resize(total);
  request.swap(gathered);
  reset();
  return Result::complete;
}

void PentaloqChunkAssembler::reset() {
  gathered.clear();
  total = 0;
  chunks = 0;
  assembling = false;
}

}  // namespace kelvo::simulator
