// SPDX-License-Identifier: Apache-2.0
// Frames, answers and their CRC, as both ends must compute them.
#include <gtest/gtest.h>

#include "LogCapture.h"
#include "trevalon/token/TokenBLEReader.h"
#include "trevalon/token/TokenCrc8.h"
#include "trevalon/token/TokenFunctions.h"

using kelvo::test::LogCapture;
using trevalon::token::TokenBLEReader;
using trevalon::token::TokenCrc8;
using trevalon::token::TokenFunctions;
using trevalon::token::TransmitResult;
using Bytes = std::vector<uint8_t>;

namespace {

uint8_t crcOf(const std::vector<uint8_t>& bytes) { return TokenCrc8::of(bytes.data(), bytes.size()); }

// Bit by bit, as the 1-Wire CRC is defined: shift register x^8 + x^5 + x^4 + 1, data least significant bit first.
uint8_t referenceCrc(const std::vector<uint8_t>& bytes) {
  uint8_t shift = 0;
  for (uint8_t byte : bytes) {
    for (int bit = 0; bit < 8; ++bit) {
      const int in = ((byte >> bit) & 1) ^ (shift & 1);
      shift = static_cast<uint8_t>(shift >> 1);
      if (in) shift ^= 0x8C;
    }
  }
  return shift;
}

TEST(TokenCrc8Test, KnownValuesAndSelfCheck) {
  EXPECT_EQ(crcOf({}), 0);
  // The 1-Wire check value: CRC of "123456789".
  EXPECT_EQ(crcOf({'1', '2', '3', '4', '5', '6', '7', '8', '9'}), 0xA1);
  const std::vector<uint8_t> setTimeHeader = {0x10, 0x00, 0x00};
  EXPECT_EQ(crcOf(setTimeHeader), referenceCrc(setTimeHeader));
  for (std::vector<uint8_t> frame :
       {std::vector<uint8_t>{0x10, 0x00, 0x00}, std::vector<uint8_t>{0x30, 0x01, 0x00, 0x07},
        std::vector<uint8_t>{0xFF, 0x00, 0x80, 0x55, 0xAA}}) {
    EXPECT_EQ(crcOf(frame), referenceCrc(frame));
    frame.push_back(crcOf(frame));
    EXPECT_EQ(crcOf(frame), 0) << "a frame followed by its own CRC checks to 0";
  }
}

TEST(TokenFramingTest, RequestFrameCarriesLengthPayloadAndCrc) {
  const std::vector<uint8_t> frame = TokenBLEReader::frame(0x15, {0x00, 0xA4, 0x04, 0x00});
  ASSERT_EQ(frame.size(), 8u);
  EXPECT_EQ(std::vector<uint8_t>(frame.begin(), frame.begin() + 7),
            (std::vector<uint8_t>{0x15, 0x04, 0x00, 0x00, 0xA4, 0x04, 0x00}));
  EXPECT_EQ(crcOf(frame), 0);
  const std::vector<uint8_t> big = TokenBLEReader::frame(0x15, std::vector<uint8_t>(0x1234, 0xEE));
  EXPECT_EQ(big[1], 0x34);
  EXPECT_EQ(big[2], 0x12);
  EXPECT_TRUE(TokenBLEReader::frame(0x15, std::vector<uint8_t>(0x10000, 0)).empty()) << "no length field for it";
}

std::vector<uint8_t> answerFrame(uint8_t function, const std::vector<uint8_t>& payload) {
  return TokenBLEReader::frame(function, payload);
}

TEST(TokenFramingTest, AnswersAreCheckedInOrder) {
  struct Case {
    const char* what;
    std::vector<uint8_t> answer;
    uint8_t code;
    std::vector<uint8_t> data;
    const char* message;  // the error logged, or nullptr
  };
  std::vector<uint8_t> badCrc = answerFrame(0x30, {0, 'P', 'Q'});
  badCrc.back() ^= 1;
  std::vector<uint8_t> filled = answerFrame(0x30, {0, 'P', 'Q'});
  filled.resize(16, 0);
  std::vector<uint8_t> cut = answerFrame(0x30, {0, 'P', 'Q'});
  cut.pop_back();
  const std::vector<Case> cases = {
      {"plain answer", answerFrame(0x30, {0, 'P', 'Q'}), 0, {'P', 'Q'}, nullptr},
      {"zero fill after the CRC", filled, 0, {'P', 'Q'}, nullptr},
      {"code 13 is the reader's", answerFrame(0x30, {13, 1}), 13, {1}, nullptr},
      {"code 14 becomes 0xFF, data kept", answerFrame(0x30, {14, 1, 2}), 0xFF, {1, 2}, nullptr},
      {"code 0xFE becomes 0xFF", answerFrame(0x30, {0xFE}), 0xFF, {}, nullptr},
      {"three bytes", {0x30, 0x00, 0x00}, 0xFF, {}, "Expected result to be at least 4 bytes long"},
      {"nothing", {}, 0xFF, {}, "Expected result to be at least 4 bytes long"},
      {"another function", answerFrame(0x20, {0, 0x12}), 0xFF, {}, "functions do not match"},
      {"an unknown function", answerFrame(0x31, {0}), 0xFF, {}, "functions do not match"},
      {"shorter than its length", cut, 0xFF, {}, "size = 6 does not match 3"},
      {"wrong CRC", badCrc, 0xFF, {}, "CRC8 does not match"},
      {"empty payload", answerFrame(0x30, {}), 0xFF, {}, "no result"},
  };
  for (const Case& c : cases) {
    LogCapture capture;
    const TransmitResult result = TokenBLEReader::parseAnswer(0x30, c.answer);
    EXPECT_EQ(result.code, c.code) << c.what;
    EXPECT_EQ(result.data, c.data) << c.what;
    if (c.message) {
      EXPECT_TRUE(capture.containsAt("ERROR", c.message)) << c.what;
    } else {
      EXPECT_EQ(capture.count("ERROR"), 0u) << c.what;
    }
  }
}

TEST(TokenFramingTest, RequestsAndFramesAreTracedWithoutTheirPayload) {
  const Bytes shortKey = {0x02, 0x91, 0x22, 0x3f, 0x4c, 0x55, 0x6e, 0x77, 0x88};
  EXPECT_EQ(TokenFunctions::requestTrace(0x65, shortKey), "Syncronize [0x65] 9 bytes");
  const Bytes verify = {0x00, 0x20, 0x00, 0x81, 0x02, '1', '2'};
  EXPECT_EQ(TokenFunctions::requestTrace(0x15, verify), "SendApdu [0x15] 7 bytes, APDU 00 20 00 81, 7 bytes");
  struct Case {
    const char* what;
    Bytes frame;
    const char* expected;
  };
  const std::vector<Case> cases = {
      {"a key set-up", TokenBLEReader::frame(0x65, shortKey), "Syncronize [0x65] 9 bytes"},
      {"a VERIFY APDU", TokenBLEReader::frame(0x15, verify), "SendApdu [0x15] 7 bytes, APDU 00 20 00 81, 7 bytes"},
      {"a sealed frame", Bytes(32, 0xC3), "32 bytes"},
      {"a frame whose length is not its own", {0x65, 0x09, 0x00, 0x02, 0x00}, "5 bytes"},
      {"nothing", {}, "0 bytes"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(TokenFunctions::frameTrace(c.frame), c.expected) << c.what;
  }
}

TEST(TokenFramingTest, FunctionNamesAndPrintedResult) {
  EXPECT_STREQ(TokenFunctions::name(0x65), "Syncronize");
  EXPECT_STREQ(TokenFunctions::name(0xB0), "ReadVariable");
  EXPECT_STREQ(TokenFunctions::name(0x11), "Unknown");
  int known = 0;
  for (int code = 0; code < 256; ++code) known += TokenFunctions::isKnown(static_cast<uint8_t>(code));
  EXPECT_EQ(known, 21);
  TransmitResult result;
  result.code = 0x0D;
  result.data = {0xAB, 0x01};
  EXPECT_EQ(result.toString(), "0xD, 2 bytes") << "the answer's data stays out of the trace";
}

}  // namespace
