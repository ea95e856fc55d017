// SPDX-License-Identifier: Apache-2.0
#include <gtest/gtest.h>

#include <istream>
#include <ostream>
#include <vector>

#include "trevalon/common/ByteBuffer.h"

using trevalon::common::ByteBuffer;

namespace {

TEST(ByteBuffer, ParsesFromTheReadAreaAndStopsAtItsEnd) {
  const std::vector<uint8_t> frame = {0x03, 'a', 'b', 'c', 0x09};
  ByteBuffer buffer(frame.data(), static_cast<int32_t>(frame.size()), nullptr, 0);
  std::istream in(&buffer);
  char length = 0;
  in.read(&length, 1);
  std::string text(static_cast<size_t>(length), '\0');
  in.read(&text[0], length);
  EXPECT_EQ(text, "abc");
  EXPECT_EQ(buffer.consumed(), 4u);

  char rest[4] = {};
  in.read(rest, sizeof rest);
  EXPECT_TRUE(in.eof());
  EXPECT_EQ(in.gcount(), 1);
  EXPECT_EQ(buffer.consumed(), frame.size());
}

TEST(ByteBuffer, WritesIntoAFixedAreaAndFailsPastIt) {
  std::vector<uint8_t> out(4, 0);
  ByteBuffer buffer(nullptr, 0, out.data(), static_cast<uint32_t>(out.size()));
  std::ostream stream(&buffer);
  stream.write("\x01\x02\x03", 3);
  EXPECT_TRUE(stream.good());
  EXPECT_EQ(buffer.written(), 3u);
  stream.write("\x04\x05", 2);
  EXPECT_TRUE(stream.bad());
  EXPECT_EQ(buffer.written(), 4u);
  EXPECT_EQ(out, (std::vector<uint8_t>{1, 2, 3, 4}));
}

TEST(ByteBuffer, EmptyAreas) {
  ByteBuffer buffer(nullptr, 0, nullptr, 0);
  std::istream in(&buffer);
  EXPECT_EQ(in.get(), std::char_traits<char>::eof());
  std::ostream out(&buffer);
  out.put('x');
  EXPECT_TRUE(out.bad());
  EXPECT_EQ(buffer.consumed(), 0u);
  EXPECT_EQ(buffer.written(), 0u);
}

}  // namespace
