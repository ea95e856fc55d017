// SPDX-License-Identifier: Apache-2.0
#pragma once
// A stream buffer over caller-owned memory: parse a received frame with an istream, or build one with an
// ostream into a pre-sized vector. It never grows and never refills, so a read past the end is end-of-stream
// and a write past the end fails the stream instead of touching foreign memory.

#include <cstdint>
#include <streambuf>

namespace trevalon::common {

class ByteBuffer : public std::basic_streambuf<char> {
 public:
  ByteBuffer(const void* readStart, int32_t readLength, void* writeStart, uint32_t writeLength);

  uint64_t consumed() const;
  uint64_t written() const;
};

}  // namespace trevalon::common
