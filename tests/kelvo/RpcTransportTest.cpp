// SPDX-License-Identifier: Apache-2.0
#include <gtest/gtest.h>

#include "KelvoStack.h"
#include "LogCapture.h"
#include "ScriptedTransport.h"
#include "trevalon/kelvo/KelvoNames.h"

using namespace kelvo::test;
using kelvo::simulator::KelvoReaderEmulator;
using kelvo::simulator::KelvoReaderQuirk;
using trevalon::kelvo::KelvoNames;
using trevalon::kelvo::TransmitResult;
using Bytes = std::vector<uint8_t>;

namespace {

class RpcTransport : public ::testing::Test {
 protected:
  RpcTransport() : stack(KelvoStack::plainConfig()) {}
  void SetUp() override { ASSERT_TRUE(stack.connect()); }
  KelvoStack stack;
  LogCapture capture;
};

TEST_F(RpcTransport, StatusAndPayloadOfAnAnswer) {
  const TransmitResult state = stack.packets->transmit(13, {}, true);
  EXPECT_EQ(state.status, 0);
  ASSERT_EQ(state.payload.size(), 6u);
  EXPECT_EQ(state.payload[2], 80) << "battery level of the emulated reader";
}

TEST(RpcStatusMapping, StatusesOutsideTheKnownSetBecome255) {
  struct Case {
    Bytes answer;
    uint8_t status;
    Bytes payload;
  };
  const Case cases[] = {
      {{0x0B, 0x01}, 0xFF, {0x01}}, {{0x81}, 0x81, {}},        {{}, 0xFF, {}},
      {{0x0A, 7, 8}, 0x0A, {7, 8}}, {{0x00, 1, 2}, 0, {1, 2}}, {{0x80}, 0xFF, {}},
  };
  for (const Case& c : cases) {
    auto transport = std::make_shared<ScriptedTransport>();
    transport->answer(13, c.answer);
    const TransmitResult result = transport->transmit(13, {9}, true);
    EXPECT_EQ(result.status, c.status);
    EXPECT_EQ(result.payload, c.payload);
    ASSERT_EQ(transport->requests.size(), 1u);
    EXPECT_EQ(transport->requests[0], (Bytes{13, 9}));
  }
}

TEST(RpcStatusMapping, UpdateMtuNeedsExactlyTwoPayloadBytes) {
  auto transport = std::make_shared<ScriptedTransport>();
  transport->answer(16, {0x00, 0xF4});
  EXPECT_FALSE(transport->updateMtu());
  EXPECT_EQ(transport->mtu, 23u);
  transport->answer(16, {0x00, 0xF4, 0x01});
  EXPECT_TRUE(transport->updateMtu());
  EXPECT_EQ(transport->mtu, 500u);
  EXPECT_EQ(transport->requests.back(), Bytes{16});
}

TEST_F(RpcTransport, AMethodTheReaderDoesNotKnowIsNeverSentAgain) {
  stack.emulator->setQuirk(KelvoReaderQuirk::noStateRequest, true);
  EXPECT_EQ(stack.packets->transmit(13, {}, true).status, 2);
  EXPECT_TRUE(stack.packets->isUnsupported(13));
  stack.emulator->resetCounters();
  stack.emulator->setQuirk(KelvoReaderQuirk::noStateRequest, false);
  const TransmitResult again = stack.packets->transmit(13, {}, true);
  EXPECT_EQ(again.status, 2);
  EXPECT_TRUE(again.payload.empty());
  EXPECT_EQ(stack.emulator->counters().total(), 0u) << "no radio traffic for a method known to be missing";
}

TEST_F(RpcTransport, TransmitTracesTheMethodByNameAndThePayloadByLength) {
  stack.packets->transmit(13, {0xAB}, true);
  EXPECT_TRUE(capture.contains(">> trevalon::kelvo::KelvoBLEReader::transmit(GetDeviceState [0x0d] 1 bytes)"));
}

TEST(KelvoNamesTable, NamesOfEveryKind) {
  EXPECT_STREQ(KelvoNames::method(22), "GotoBotloader");
  EXPECT_STREQ(KelvoNames::method(160), "ExchangeSessionKey");
  EXPECT_STREQ(KelvoNames::method(6), "Unknown");
  EXPECT_EQ(KelvoNames::methodTrace(255), "EncryptionMarker [0xff]");
  EXPECT_STREQ(KelvoNames::notification(7), "BatteryLevelChanged");
  EXPECT_STREQ(KelvoNames::notification(0), "Unknown");
  EXPECT_STREQ(KelvoNames::command(8), "PostDisconnection");
  EXPECT_STREQ(KelvoNames::command(9), "Unknown");
  EXPECT_STREQ(KelvoNames::smartCard(3), "TPDU_HS");
  EXPECT_STREQ(KelvoNames::smartCard(6), "Unknown");
}

TEST(KelvoNamesTable, RequestsAreTracedWithoutTheirPayload) {
  struct Case {
    const char* what;
    uint8_t method;
    Bytes payload;
    const char* expected;
  };
  const std::vector<Case> cases = {
      {"a key agreement", 3, Bytes(32, 0x5A), "ExchangeKey [0x03] 32 bytes"},
      {"a PIN change", 24, {'1', '2', '3', '4', '5', '6'}, "SetPin [0x18] 6 bytes"},
      {"a VERIFY APDU",
       2,
       {0x05, 0x00, 0x20, 0x00, 0x81, 0x02, '1', '2'},
       "SCard [0x02] 8 bytes, APDU 00 20 00 81, 7 bytes"},
      {"a card reset", 2, {0x01}, "SCard [0x02] 1 bytes, Reset"},
      {"a TPDU", 2, {0x02, 0x00, 0x20, 0x00, 0x81, 0x31}, "SCard [0x02] 6 bytes, TPDU_LS"},
      {"a smart-card request without kind", 2, {}, "SCard [0x02] 0 bytes"},
      {"an unknown method", 6, {0x01}, "Unknown [0x06] 1 bytes"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(KelvoNames::requestTrace(c.method, c.payload), c.expected) << c.what;
    Bytes request(c.payload.size() + 1, c.method);
    std::copy(c.payload.begin(), c.payload.end(), request.begin() + 1);
    EXPECT_EQ(KelvoNames::requestTrace(request), c.expected) << c.what << ", as a whole request";
  }
  EXPECT_EQ(KelvoNames::requestTrace(Bytes{}), "empty request");
}

}  // namespace
