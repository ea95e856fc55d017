// SPDX-License-Identifier: Apache-2.0
#pragma once
// Puts a request together from the chunks the host writes to the reader's input characteristic.

#include <cstddef>
#include <cstdint>
#include <vector>

namespace kelvo::simulator {

class PentaloqChunkAssembler {
 public:
  enum class Result { refused, partial, complete };

  // On `complete`, `request` holds the whole request and the assembler is ready for the next one.
  Result add(const std::vector<uint8_t>& chunk, std::vector<uint8_t>& request);
  void reset();

 private:
  std::vector<uint8_t> gathered;
  size_t total = 0;
  size_t chunks = 0;
  bool assembling = false;
};

}  // namespace kelvo::simulator
