// SPDX-License-Identifier: Apache-2.0
#include <gtest/gtest.h>

#include "FakeReader.h"
#include "LogCapture.h"
#include "ReaderEvents.h"
#include "trevalon/ReaderCardStateProxy.h"

using namespace kelvo::test;
using trevalon::ReaderCardStateProxy;
using Bytes = std::vector<uint8_t>;

namespace {

TEST(AtrProtocols, AreReadFromTheInterfaceBytes) {
  struct Case {
    Bytes atr;
    std::vector<uint32_t> protocols;
  };
  const std::vector<Case> cases = {
      {{0x3B, 0x00}, {1}},
      {{0x3B, 0x80, 0x01}, {2}},
      {{0x3B, 0x80, 0x0F}, {0xFFFFFFFF}},
      {{0x3B, 0x81, 0x81, 0x31}, {2, 2}},
      {{0x3B, 0x81, 0x80, 0x01, 0x80, 0x80}, {1, 2}},  // T=0 then T=1, then a historical byte
      {{0x3B, 0x95, 0x13, 0x01, 0x80}, {2}},           // TA1 skipped, TD1 with T=1, a historical byte
      {{0x3B, 0xF0, 0x11, 0x00, 0xFF, 0x01}, {2}},     // TA1 TB1 TC1 then TD1 with T=1
      {{0x3B, 0x80}, {1}},                             // TD1 announced but missing: nothing read past the end
      {{0x3B}, {1}},
      {{}, {1}},
      {{0x3B, 0x0F, 0x80, 0x01}, {1}},  // no interface bytes: the rest is historical
  };
  for (const Case& c : cases) {
    EXPECT_EQ(ReaderCardStateProxy::readProtocols(c.atr), c.protocols) << ::testing::PrintToString(c.atr);
  }
}

class CardStateProxyTest : public ::testing::Test {
 protected:
  void build(int64_t idleMs = 60000) {
    lower->state = trevalon::kCardPresent;
    proxy = trevalon::common::createTranslator<ReaderCardStateProxy>(std::shared_ptr<trevalon::Reader>(lower), idleMs);
    proxy->addObserver(events);
  }
  // The card the reader reports, as its event reaches the proxy.
  void report(trevalon::CardState state) { lower->raiseState(state); }

  LogCapture capture;
  std::shared_ptr<FakeReader> lower = std::make_shared<FakeReader>();
  std::shared_ptr<trevalon::Reader> proxy;
  std::shared_ptr<ReaderEvents> events = std::make_shared<ReaderEvents>();
};

TEST_F(CardStateProxyTest, ApduNeedsAPoweredCard) {
  build();
  report(trevalon::kCardPresent);
  lower->setAtrs({{0x3B, 0x80, 0x01}});
  EXPECT_TRUE(proxy->sendAPDU({0x00, 0xA4}).empty());
  EXPECT_TRUE(capture.containsAt("ERROR", "card is not ready for communication"));
  EXPECT_EQ(lower->calls("sendAPDU"), 0u);

  EXPECT_EQ(proxy->getAtr(), (Bytes{0x3B, 0x80, 0x01}));
  EXPECT_EQ(lower->calls("getAtr"), 2u) << "read until two reads agree";
  EXPECT_EQ(proxy->getState(), trevalon::kCardSpecific);
  EXPECT_EQ(proxy->getProtocol(), trevalon::kProtocolT1);
  EXPECT_EQ(proxy->sendAPDU({0x00, 0xA4}), (Bytes{0x00, 0xA4, 0x90}));
  EXPECT_EQ(events->values("state"),
            (std::vector<int64_t>{trevalon::kCardPresent, trevalon::kCardNegotiable, trevalon::kCardSpecific}));
}

TEST_F(CardStateProxyTest, AnAtrThatNeverSettlesIsReadABoundedNumberOfTimes) {
  build();
  report(trevalon::kCardPresent);
  lower->setAtrs({{0x3B, 0x00}, {0x3B, 0x01}, {0x3B, 0x02}, {0x3B, 0x03}, {0x3B, 0x04}, {0x3B, 0x05}});
  EXPECT_EQ(proxy->getAtr(), (Bytes{0x3B, 0x03}));
  EXPECT_EQ(lower->calls("getAtr"), static_cast<size_t>(ReaderCardStateProxy::kMaxAtrPasses));
}

TEST_F(CardStateProxyTest, ACardWithoutAnAtrIsAbsent) {
  build();
  report(trevalon::kCardPresent);
  EXPECT_TRUE(proxy->getAtr().empty());
  EXPECT_EQ(proxy->getState(), trevalon::kCardAbsent);
  EXPECT_FALSE(proxy->getCard());
}

TEST_F(CardStateProxyTest, AnIdleCardSleepsAndWakesOnTheNextApdu) {
  build(100);
  report(trevalon::kCardPresent);
  lower->setAtrs({{0x3B, 0x80, 0x01}});
  proxy->getAtr();
  ASSERT_FALSE(proxy->sendAPDU({0x01}).empty());
  ASSERT_TRUE(events->waitFor("state", trevalon::kCardAsleepSpecific));
  EXPECT_EQ(lower->calls("shutdown"), 1u);
  EXPECT_TRUE(proxy->getCard()) << "a sleeping card is still a card";
  EXPECT_EQ(proxy->getAtr(), (Bytes{0x3B, 0x80, 0x01})) << "the ATR survives sleep";

  // The reader's own report that the card is unpowered now only restates what the proxy did.
  report(trevalon::kCardUnidentified);
  EXPECT_EQ(proxy->getState(), trevalon::kCardAsleepSpecific);

  const size_t atrReads = lower->calls("getAtr");
  events->forget();
  EXPECT_EQ(proxy->sendAPDU({0x02}), (Bytes{0x02, 0x90}));
  EXPECT_EQ(lower->calls("getAtr"), atrReads + 1) << "waking reads the ATR again";
  EXPECT_EQ(proxy->getState(), trevalon::kCardNegotiable);
  EXPECT_EQ(proxy->getProtocol(), trevalon::kProtocolT1) << "the protocol chosen before sleep is kept";
  report(trevalon::kCardPresent);  // the reader powered the card for the reset
  EXPECT_EQ(proxy->getState(), trevalon::kCardNegotiable);
}

TEST_F(CardStateProxyTest, TheIdleTimerNeverUnpowersDuringAnExchange) {
  build(20);
  report(trevalon::kCardPresent);
  lower->setAtrs({{0x3B, 0x00}});
  proxy->getAtr();
  lower->apduDelay = std::chrono::milliseconds(200);
  proxy->sendAPDU({0x01});
  ASSERT_TRUE(events->waitFor("state", trevalon::kCardAsleepSpecific));
  std::vector<std::string> journal = lower->journal();
  auto end = std::find(journal.begin(), journal.end(), "apdu-end");
  auto shutdown = std::find(journal.begin(), journal.end(), "shutdown");
  ASSERT_NE(shutdown, journal.end());
  EXPECT_LT(end - journal.begin(), shutdown - journal.begin()) << "the card slept only after the exchange ended";
}

TEST_F(CardStateProxyTest, ProtocolChoice) {
  build();
  report(trevalon::kCardPresent);
  EXPECT_FALSE(proxy->setProtocol(trevalon::kProtocolT1));
  EXPECT_TRUE(capture.containsAt("Warning", "Could not set Protocol: Card is not Negotiable"));

  lower->setAtrs({{0x3B, 0x81, 0x81, 0x31}});
  lower->acceptsProtocol = false;
  proxy->getAtr();
  EXPECT_EQ(proxy->getState(), trevalon::kCardNegotiable) << "a refused protocol leaves the card negotiable";
  lower->acceptsProtocol = true;
  EXPECT_TRUE(proxy->setProtocol(trevalon::kProtocolAny));
  EXPECT_EQ(proxy->getProtocol(), trevalon::kProtocolT1);
  EXPECT_EQ(proxy->getState(), trevalon::kCardSpecific);
  EXPECT_FALSE(proxy->setProtocol(0));
  EXPECT_TRUE(capture.containsAt("Warning", "Could not set Protocol: 0"));
}

TEST_F(CardStateProxyTest, Shutdown) {
  build();
  report(trevalon::kCardAbsent);
  EXPECT_FALSE(proxy->shutdown());
  EXPECT_EQ(proxy->getState(), trevalon::kCardAbsent);
  report(trevalon::kCardPresent);
  lower->setAtrs({{0x3B, 0x00}});
  proxy->getAtr();
  EXPECT_TRUE(proxy->shutdown());
  EXPECT_EQ(proxy->getState(), trevalon::kCardSwallowed);
  EXPECT_EQ(lower->calls("shutdown"), 1u);
  EXPECT_EQ(proxy->getAtr(), (Bytes{0x3B, 0x00})) << "a swallowed card with a known ATR needs no reset";
  EXPECT_EQ(proxy->getState(), trevalon::kCardAsleepNegotiable);
}

TEST_F(CardStateProxyTest, StatesWhileDisconnectedAreUnknown) {
  build();
  lower->connected = false;
  report(trevalon::kCardPresent);
  EXPECT_EQ(events->values("state"), std::vector<int64_t>{}) << "unknown is what it already was";
  EXPECT_EQ(proxy->getState(), trevalon::kCardUnknown);
  lower->connected = true;
  report(trevalon::kCardPresent);
  EXPECT_EQ(proxy->getState(), trevalon::kCardPresent);
  report(trevalon::kCardAbsent);
  EXPECT_EQ(events->values("state"), (std::vector<int64_t>{trevalon::kCardPresent, trevalon::kCardAbsent}));
}

}  // namespace
