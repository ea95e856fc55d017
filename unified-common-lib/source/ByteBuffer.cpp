// SPDX-License-Identifier: Apache-2.0
#include "trevalon/common/ByteBuffer.h"

namespace trevalon::common {

ByteBuffer::ByteBuffer(const void* readStart, int32_t readLength, void* writeStart, uint32_t writeLength) {
  // The standard interface wants mutable pointers for the read area; the buffer never writes through them.
  char* read = static_cast<char*>(const_cast<void*>(readStart));
  const int32_t readSize = (read == nullptr || readLength < 0) ? 0 : readLength;
  setg(read, read, read + readSize);
  char* write = static_cast<char*>(writeStart);
  const uint32_t writeSize = write == nullptr ? 0 : writeLength;
  setp(write, write + writeSize);
}

uint64_t ByteBuffer::consumed() const { return static_cast<uint64_t>(gptr() - eback()); }

uint64_t ByteBuffer::written() const { return static_cast<uint64_t>(pptr() - pbase()); }

}  // namespace trevalon::common
