// SPDX-License-Identifier: Apache-2.0
// The reader's half of the key agreement, the session and the encrypted frames, against a host side that
// the test computes on its own with OpenSSL.

#include <gmock/gmock.h>

#include "EmulatorFixture.h"
#include "HostCrypto.h"

namespace kelvo::test {
namespace {

using ::testing::ElementsAre;
using kelvo::simulator::KelvoReaderQuirk;

constexpr uint8_t kGetDeviceState = 13;

class LinkEncryptionTest : public EmulatorFixture {
 protected:
  static Config encryptedConfig() {
    Config config;
    config.settings[7] = 1;
    config.battery = 64;
    return config;
  }

  // X25519 with a random point in place of the base point, as the host does it; returns the shared key.
  Bytes agreeLongTermKey(bool save = true) {
    const Bytes x = HostCrypto::random(32);
    const Bytes y = HostCrypto::random(32);
    const std::optional<Bytes> p = HostCrypto::x25519(x, y);
    EXPECT_TRUE(p);
    Bytes request{3};
    request.insert(request.end(), y.begin(), y.end());
    request.insert(request.end(), p->begin(), p->end());
    const std::optional<Bytes> response = call(request);
    EXPECT_TRUE(response);
    EXPECT_EQ(response->size(), 33u);
    EXPECT_EQ((*response)[0], 0);
    const std::optional<Bytes> key = HostCrypto::x25519(x, Bytes(response->begin() + 1, response->end()));
    EXPECT_TRUE(key);
    if (save) {
      EXPECT_TRUE(host->write(Emulator::kIndicate, {7}));
    }
    return *key;
  }

  struct Session {
    Bytes key;
    Bytes tail;
    uint32_t counter = 0;
  };

  std::optional<Bytes> exchangeSessionKey(const Bytes& hostRandom) {
    Bytes request{160};
    request.insert(request.end(), hostRandom.begin(), hostRandom.end());
    request.push_back(0x01);
    return call(request);
  }

  Session startSession(const Bytes& longTerm) {
    const Bytes r = HostCrypto::random(20);
    const std::optional<Bytes> response = exchangeSessionKey(r);
    EXPECT_TRUE(response);
    EXPECT_EQ(response->size(), 21u);
    EXPECT_EQ((*response)[0], 0);
    const Bytes d(response->begin() + 1, response->end());
    Bytes blocks(r.begin(), r.begin() + 16);
    blocks.insert(blocks.end(), d.begin(), d.begin() + 16);
    Session session;
    session.key = HostCrypto::ecb(longTerm, blocks, true);
    session.tail.assign(r.begin() + 16, r.end());
    session.tail.insert(session.tail.end(), d.begin() + 16, d.end());
    return session;
  }

  // Request under counter n, answer under n + 1.
  std::optional<Bytes> sealedCall(Session& session, const Bytes& plain) {
    Bytes frame{0xFF};
    const Bytes sealed = HostCrypto::ccmSeal(session.key, HostCrypto::nonce(session.counter++, session.tail), plain);
    frame.insert(frame.end(), sealed.begin(), sealed.end());
    const std::optional<Bytes> response = call(frame);
    if (!response) return std::nullopt;
    return HostCrypto::ccmOpen(session.key, HostCrypto::nonce(session.counter++, session.tail), *response);
  }
};

TEST_F(LinkEncryptionTest, KeyAgreementAndSessionCarryAnEncryptedExchange) {
  start(encryptedConfig());
  const Bytes longTerm = agreeLongTermKey();
  const auto kept = emulator->longTermKey();
  ASSERT_TRUE(kept);
  EXPECT_EQ(Bytes(kept->begin(), kept->end()), longTerm);

  Session session = startSession(longTerm);
  std::optional<Bytes> state = sealedCall(session, {kGetDeviceState});
  ASSERT_TRUE(state);
  EXPECT_THAT(*state, ElementsAre(0, 1, 1, 64, 0, 0, 0));
  EXPECT_EQ(emulator->sessionCounter(), 2u);

  std::optional<Bytes> battery = sealedCall(session, {5});
  ASSERT_TRUE(battery);
  EXPECT_THAT(*battery, ElementsAre(0, 64));
  EXPECT_EQ(emulator->sessionCounter(), 4u);
}

TEST_F(LinkEncryptionTest, FirstSessionRequestUsesCounterZeroAndItsAnswerCounterOne) {
  start(encryptedConfig());
  Session session = startSession(agreeLongTermKey());
  Bytes frame{0xFF};
  const Bytes sealed = HostCrypto::ccmSeal(session.key, HostCrypto::nonce(0, session.tail), {5});
  frame.insert(frame.end(), sealed.begin(), sealed.end());
  std::optional<Bytes> response = call(frame);
  ASSERT_TRUE(response);
  EXPECT_EQ(response->size(), 2u + 4u);  // status and level, then the 4-byte tag
  EXPECT_FALSE(HostCrypto::ccmOpen(session.key, HostCrypto::nonce(0, session.tail), *response));
  EXPECT_TRUE(HostCrypto::ccmOpen(session.key, HostCrypto::nonce(1, session.tail), *response));
}

TEST_F(LinkEncryptionTest, RequestThatDoesNotOpenIsAnsweredWithAKeyStateErrorUnderTheNextCounter) {
  start(encryptedConfig());
  Session session = startSession(agreeLongTermKey());
  ASSERT_TRUE(sealedCall(session, {5}));
  // A host out of step reuses counter 0; the reader has used up 0 and 1, spends 2 on the request anyway.
  Bytes frame{0xFF};
  const Bytes sealed = HostCrypto::ccmSeal(session.key, HostCrypto::nonce(0, session.tail), {5});
  frame.insert(frame.end(), sealed.begin(), sealed.end());
  std::optional<Bytes> response = call(frame);
  ASSERT_TRUE(response);
  std::optional<Bytes> opened = HostCrypto::ccmOpen(session.key, HostCrypto::nonce(3, session.tail), *response);
  ASSERT_TRUE(opened);
  EXPECT_THAT(*opened, ElementsAre(5));
}

TEST_F(LinkEncryptionTest, CorruptTagFaultSpoilsOneAnswerAndKeepsTheCounterInStep) {
  start(encryptedConfig());
  Session session = startSession(agreeLongTermKey());
  kelvo::simulator::KelvoReaderFault fault;
  fault.kind = kelvo::simulator::KelvoReaderFault::Kind::corruptTag;
  emulator->addFault(fault);
  EXPECT_FALSE(sealedCall(session, {5}));
  std::optional<Bytes> next = sealedCall(session, {5});
  ASSERT_TRUE(next);
  EXPECT_THAT(*next, ElementsAre(0, 64));
}

TEST_F(LinkEncryptionTest, ReaderWithoutSessionKeysServesAesEcbUnderTheLongTermKey) {
  Config config = encryptedConfig();
  config.quirks.insert(KelvoReaderQuirk::noSessionKey);
  start(config);
  const Bytes longTerm = agreeLongTermKey();
  std::optional<Bytes> refused = exchangeSessionKey(HostCrypto::random(20));
  ASSERT_TRUE(refused);
  EXPECT_THAT(*refused, ElementsAre(2));

  Bytes frame{0xFF};
  const Bytes blocks = HostCrypto::ecbSeal(longTerm, {kGetDeviceState});
  ASSERT_EQ(blocks.size(), 16u);
  frame.insert(frame.end(), blocks.begin(), blocks.end());
  std::optional<Bytes> response = call(frame);
  ASSERT_TRUE(response);
  // The status in the clear, then whole blocks.
  ASSERT_EQ(response->size(), 17u);
  EXPECT_EQ((*response)[0], 0);
  Bytes payload = HostCrypto::ecb(longTerm, Bytes(response->begin() + 1, response->end()), false);
  ASSERT_EQ(payload.back(), 10);
  payload.resize(payload.size() - 10);
  EXPECT_THAT(payload, ElementsAre(1, 1, 64, 0, 0, 0));

  // A 16-byte plain request takes a whole block of padding.
  Bytes named{4};
  for (int i = 0; i < 15; ++i) named.push_back('a');
  Bytes sealed{0xFF};
  const Bytes named16 = HostCrypto::ecbSeal(longTerm, named);
  ASSERT_EQ(named16.size(), 32u);
  sealed.insert(sealed.end(), named16.begin(), named16.end());
  std::optional<Bytes> renamed = call(sealed);
  ASSERT_TRUE(renamed);
  EXPECT_EQ((*renamed)[0], 0);
  EXPECT_EQ(emulator->state().clientName, std::string(15, 'a'));
}

TEST_F(LinkEncryptionTest, SessionRefusalsBySwitch) {
  struct Case {
    KelvoReaderQuirk quirk;
    uint8_t status;
  };
  for (const Case& c : {Case{KelvoReaderQuirk::noSessionKey, 2}, Case{KelvoReaderQuirk::noSessionKey7, 7}}) {
    Config config = encryptedConfig();
    config.quirks.insert(c.quirk);
    start(config);
    agreeLongTermKey();
    std::optional<Bytes> response = exchangeSessionKey(HostCrypto::random(20));
    ASSERT_TRUE(response);
    EXPECT_THAT(*response, ElementsAre(c.status)) << kelvo::simulator::readerQuirkName(c.quirk);
    EXPECT_FALSE(emulator->hasSession());
    TearDown();
    radio->removePeripheral(config.address);
  }
}

TEST_F(LinkEncryptionTest, KeyIsKeptOnlyAfterTheHostAsksToSaveIt) {
  start(encryptedConfig());
  agreeLongTermKey(false);
  EXPECT_FALSE(emulator->longTermKey());
  std::optional<Bytes> response = exchangeSessionKey(HostCrypto::random(20));
  ASSERT_TRUE(response);
  EXPECT_THAT(*response, ElementsAre(6));
  // An encrypted request to a reader without any key gets the plain key-state status.
  std::optional<Bytes> encrypted = call({0xFF, 1, 2, 3, 4, 5, 6, 7});
  ASSERT_TRUE(encrypted);
  EXPECT_THAT(*encrypted, ElementsAre(4));
}

TEST_F(LinkEncryptionTest, PlainRequestsWhileEncryptionIsOnAreRefusedUnlessSwitchedToAccept) {
  start(encryptedConfig());
  EXPECT_THAT(*call({kGetDeviceState}), ElementsAre(4));
  EXPECT_THAT(*call({1}), ElementsAre(4));
  // The agreement itself is plain by nature.
  agreeLongTermKey();
  EXPECT_TRUE(emulator->longTermKey());
  // With encryption switched off the same reader serves plain requests.
  ASSERT_TRUE(host->write(Emulator::kIndicate, {5, 7, 0}));
  EXPECT_EQ((*call({kGetDeviceState}))[0], 0);

  emulator->changeSetting(7, 1);
  emulator->setQuirk(KelvoReaderQuirk::acceptPlain, true);
  std::optional<Bytes> state = call({kGetDeviceState});
  ASSERT_TRUE(state);
  EXPECT_THAT(*state, ElementsAre(0, 1, 1, 64, 0, 0, 0));
}

TEST_F(LinkEncryptionTest, KeyLostReaderForgetsItsKeyWhenTheLinkComesBack) {
  Config config = encryptedConfig();
  config.quirks.insert(KelvoReaderQuirk::keyLost);
  start(config);
  const Bytes longTerm = agreeLongTermKey();
  startSession(longTerm);
  ASSERT_TRUE(emulator->hasSession());
  emulator->setLinkUp(false);
  EXPECT_FALSE(emulator->hasSession());
  emulator->setLinkUp(true);
  EXPECT_FALSE(emulator->longTermKey());
  // The host's stored key is useless now: the session key is refused with the key-state status 6.
  std::optional<Bytes> response = exchangeSessionKey(HostCrypto::random(20));
  ASSERT_TRUE(response);
  EXPECT_THAT(*response, ElementsAre(6));
  // A fresh agreement brings the link back.
  Session session = startSession(agreeLongTermKey());
  EXPECT_TRUE(sealedCall(session, {5}));
}

TEST_F(LinkEncryptionTest, OutOfRandomAnswersExtendedStatusThreeOnceThenRecovers) {
  Config config = encryptedConfig();
  config.quirks.insert(KelvoReaderQuirk::outOfRandom);
  start(config);
  Bytes request{3};
  for (int i = 0; i < 64; ++i) request.push_back(static_cast<uint8_t>(i + 9));
  std::optional<Bytes> refused = call(request);
  ASSERT_TRUE(refused);
  EXPECT_THAT(*refused, ElementsAre(3, 3));
  const Bytes longTerm = agreeLongTermKey();

  // The same once more for the session, then the host's PostDisconnection makes the reader reconnect.
  emulator->setQuirk(KelvoReaderQuirk::outOfRandom, true);
  std::optional<Bytes> session = exchangeSessionKey(HostCrypto::random(20));
  ASSERT_TRUE(session);
  EXPECT_THAT(*session, ElementsAre(3, 3));
  ASSERT_TRUE(host->write(Emulator::kIndicate, {8}));
  radio->waitIdle();
  EXPECT_TRUE(emulator->isLinkUp());
  EXPECT_TRUE(emulator->longTermKey());
  Session fresh = startSession(longTerm);
  std::optional<Bytes> battery = sealedCall(fresh, {5});
  ASSERT_TRUE(battery);
  EXPECT_THAT(*battery, ElementsAre(0, 64));
}

}  // namespace
}  // namespace kelvo::test
