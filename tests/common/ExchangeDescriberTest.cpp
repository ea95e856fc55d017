// SPDX-License-Identifier: Apache-2.0
#include "trevalon/common/ExchangeDescriber.h"

#include <gtest/gtest.h>

using trevalon::common::ExchangeDescriber;
using Bytes = std::vector<uint8_t>;

namespace {

TEST(ExchangeDescriber, AnApduShowsItsHeaderAndLengthNeverItsBody) {
  struct Case {
    const char* what;
    Bytes apdu;
    size_t offset;
    const char* expected;
  };
  const std::vector<Case> cases = {
      {"VERIFY with a PIN",
       {0x00, 0x20, 0x00, 0x81, 0x06, '1', '2', '3', '4', '5', '6'},
       0,
       "APDU 00 20 00 81, 11 bytes"},
      {"CHANGE REFERENCE DATA", {0x00, 0x24, 0x00, 0x81, 0x04, '1', '2', '3', '4'}, 0, "APDU 00 24 00 81, 9 bytes"},
      {"a bare header", {0x00, 0xA4, 0x04, 0x00}, 0, "APDU 00 a4 04 00, 4 bytes"},
      {"too short for a header", {0x00, 0xA4}, 0, "APDU, 2 bytes"},
      {"empty", {}, 0, "APDU, 0 bytes"},
      {"behind a kind byte", {0x05, 0x80, 0xEE, 0x00, 0x00, 0x01, 0x42}, 1, "APDU 80 ee 00 00, 6 bytes"},
      {"an offset past the end", {0x05}, 3, "APDU, 0 bytes"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(ExchangeDescriber::apdu(c.apdu, c.offset), c.expected) << c.what;
  }
  EXPECT_EQ(ExchangeDescriber::apdu(Bytes{0x00, 0x2C, 0x00, 0x81, 0x00}), "APDU 00 2c 00 81, 5 bytes");
}

TEST(ExchangeDescriber, ARequestIsItsNameIdAndLength) {
  EXPECT_EQ(ExchangeDescriber::request("ExchangeSessionKey", 160, 36), "ExchangeSessionKey [0xa0] 36 bytes");
  EXPECT_EQ(ExchangeDescriber::request("GetMethods", 0, 0), "GetMethods [0x00] 0 bytes");
  EXPECT_EQ(ExchangeDescriber::length(17), "17 bytes");
}

}  // namespace
