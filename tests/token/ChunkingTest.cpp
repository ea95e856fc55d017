// SPDX-License-Identifier: Apache-2.0
// Requests cut into chunks and answers gathered from packets, over scripted characteristics.
#include <gtest/gtest.h>

#include "LogCapture.h"
#include "ScriptedCharacteristics.h"
#include "trevalon/common/Translator.h"
#include "trevalon/token/TokenBLEReaderTokenBLECharacteristicsTranslator.h"

using namespace kelvo::test;
using trevalon::token::TokenBLEReader;
using trevalon::token::TokenBLEReaderTokenBLECharacteristicsTranslator;

namespace {

std::vector<uint8_t> sequence(size_t length) {
  std::vector<uint8_t> bytes(length);
  for (size_t i = 0; i < length; ++i) bytes[i] = static_cast<uint8_t>(i * 7 + 1);
  return bytes;
}

std::vector<uint8_t> packet(size_t total, std::vector<uint8_t> data) {
  std::vector<uint8_t> bytes(3 + data.size());
  bytes[1] = static_cast<uint8_t>(total);
  bytes[2] = static_cast<uint8_t>(total >> 8);
  std::copy(data.begin(), data.end(), bytes.begin() + 3);
  return bytes;
}

class ChunkingTest : public ::testing::Test {
 protected:
  std::shared_ptr<ScriptedCharacteristics> air = std::make_shared<ScriptedCharacteristics>();
  std::shared_ptr<TokenBLEReader> reader =
      trevalon::common::createTranslator<TokenBLEReaderTokenBLECharacteristicsTranslator>(air);
  LogCapture capture;
};

TEST_F(ChunkingTest, ChunkSizesAtTheBoundaries) {
  struct Case {
    size_t request;
    std::vector<size_t> chunkSizes;
  };
  const std::vector<Case> cases = {
      {1, {4}}, {253, {256}}, {254, {256, 2}}, {253 + 255, {256, 256}}, {253 + 256, {256, 256, 2}},
  };
  for (const Case& c : cases) {
    air->written.clear();
    air->answerWith({packet(1, {0x42})});
    const std::vector<uint8_t> request = sequence(c.request);
    EXPECT_EQ(reader->transmitRaw(request, false), std::vector<uint8_t>{0x42});
    std::vector<size_t> sizes;
    std::vector<uint8_t> carried;
    for (size_t i = 0; i < air->written.size(); ++i) {
      const std::vector<uint8_t>& chunk = air->written[i];
      sizes.push_back(chunk.size());
      EXPECT_EQ(chunk[0], i) << "chunk index";
      const size_t header = i == 0 ? 3 : 1;
      carried.insert(carried.end(), chunk.begin() + static_cast<std::ptrdiff_t>(header), chunk.end());
    }
    EXPECT_EQ(sizes, c.chunkSizes) << c.request << " bytes";
    EXPECT_EQ(air->written[0][1] | (air->written[0][2] << 8), c.request) << "total length in chunk 0 only";
    EXPECT_EQ(carried, request);
  }
  EXPECT_EQ(air->written.back().back(), sequence(253 + 256).back()) << "the last chunk ends with the last byte";
}

TEST_F(ChunkingTest, ChunkIndicesWrapAtOneByte) {
  air->answerWith({packet(1, {0})});
  reader->transmitRaw(sequence(253 + 256 * 255), false);
  ASSERT_EQ(air->written.size(), 257u);
  EXPECT_EQ(air->written[255][0], 255);
  EXPECT_EQ(air->written[256][0], 0) << "index 256 travels as 0";
}

TEST_F(ChunkingTest, AnEmptyRequestSendsNothingAndReceives) {
  air->queue(packet(2, {0xAB, 0xCD}));
  EXPECT_EQ(reader->transmitRaw({}, false), (std::vector<uint8_t>{0xAB, 0xCD}));
  EXPECT_TRUE(air->written.empty());
  EXPECT_EQ(air->discards, 0) << "what is queued is the answer waited for";
}

TEST_F(ChunkingTest, AFailedChunkEndsTheExchange) {
  air->failWriteAt = 1;
  air->answerWith({packet(1, {0})});
  EXPECT_TRUE(reader->transmitRaw(sequence(300), false).empty());
  EXPECT_TRUE(capture.containsAt("ERROR", "failed to transmit chunk 1"));
  EXPECT_EQ(air->receives, 0) << "nothing is waited for after a failed write";
}

TEST_F(ChunkingTest, AnswersAreGatheredFromSeveralPackets) {
  const std::vector<uint8_t> whole = sequence(600);
  air->answerWith({packet(600, {whole.begin(), whole.begin() + 253}),
                   packet(600, {whole.begin() + 253, whole.begin() + 506}),
                   packet(600, {whole.begin() + 506, whole.end()})});
  EXPECT_EQ(reader->transmitRaw({1, 2, 3}, false), whole);
  EXPECT_EQ(air->receives, 3);
}

TEST_F(ChunkingTest, ALatePacketOfAnEarlierAnswerIsNotTakenForTheNextOne) {
  air->queue(packet(1, {0x99}));
  air->answerWith({packet(1, {0x42})});
  EXPECT_EQ(reader->transmitRaw({1}, false), std::vector<uint8_t>{0x42});
}

TEST_F(ChunkingTest, ReceivingStopsAtAnUnexpectedPacket) {
  struct Case {
    const char* what;
    std::vector<std::vector<uint8_t>> packets;
    std::vector<uint8_t> gathered;
    const char* message;
  };
  const std::vector<Case> cases = {
      {"time-out", {}, {}, "Unexpected package -1 expected 0"},
      {"packet index 1", {{1, 3, 0, 1, 2, 3}}, {}, "Unexpected package 1 expected 0"},
      {"second packet bad", {packet(4, {1, 2}), {7, 4, 0, 3, 4}}, {1, 2}, "Unexpected package 7 expected 0"},
      {"second packet missing", {packet(4, {1, 2})}, {1, 2}, "Unexpected package -1 expected 0"},
      {"header without data",
       {packet(4, {1, 2}), packet(4, {}), packet(4, {3, 4})},
       {1, 2},
       "package without answer bytes"},
  };
  for (const Case& c : cases) {
    capture.clear();
    air->answerWith(c.packets);
    EXPECT_EQ(reader->transmitRaw({0x01}, false), c.gathered) << c.what;
    EXPECT_TRUE(capture.containsAt("ERROR", c.message)) << c.what;
  }
  air->answerWith({{0}});
  EXPECT_TRUE(reader->transmitRaw({0x01}, false).empty()) << "a lone 0 announces nothing and is complete";
}

}  // namespace
