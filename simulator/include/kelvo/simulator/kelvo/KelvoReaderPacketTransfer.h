// SPDX-License-Identifier: Apache-2.0
#pragma once
// The reader's side of the packet transfer. Requests arrive either announced on 'prepare' and written in
// pieces to 'input', or whole with a length prefix on 'transmit'. Answers leave as numbered packages on
// 'output2': after a 'prepare'/'input' request the host first reads their size and package size from
// 'process2'; after a 'transmit' request package 0 carries that header itself.

#include <algorithm>
#include <cstdint>
#include <optional>
#include <vector>

namespace kelvo::simulator {

class KelvoReaderPacketTransfer {
 public:
  using Packages = std::vector<std::vector<uint8_t>>;
  enum class Framing { prepared, oneWrite };
  enum class InputResult { refused, partial, complete };

  // A notification of 20 bytes fits the link before the host negotiates: one index byte and 19 of payload.
  static constexpr size_t kInitialPack = 19;
  static constexpr size_t kMaxPack = 243;
  // The longest attribute value a GATT write may carry.
  static constexpr size_t kMaxWrite = 512;
  // Package indices are one byte, and the host counts them in 8 bits.
  static constexpr size_t kMaxPackages = 255;

  // 'prepare': the coming request's length, 2 bytes little-endian. False refuses the write.
  bool prepare(const std::vector<uint8_t>& value);
  // 'input': the next piece of the announced request.
  InputResult input(const std::vector<uint8_t>& value, std::vector<uint8_t>& request);
  // 'transmit': length and request in one write; empty when the length does not match.
  std::optional<std::vector<uint8_t>> transmit(const std::vector<uint8_t>& value);

  // Splits an answer; empty when it would need more packages than an index can number.
  Packages packages(const std::vector<uint8_t>& response, Framing framing) const;
  // The 4 bytes of 'process2' for an answer: size, 1, package size.
  std::vector<uint8_t> process2Value(const std::vector<uint8_t>& response) const;

  size_t pack() const { return packSize; }
  void setPack(size_t size) { packSize = size; }
  // The link went down: a half-received request is forgotten and the package size starts small again.
  void reset();

 private:
  size_t packSize = kInitialPack;
  std::optional<size_t> announced;
  std::vector<uint8_t> received;
};

}  // namespace kelvo::simulator
