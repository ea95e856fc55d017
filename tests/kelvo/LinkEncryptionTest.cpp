#include <gtest/gtest.h>
#include <openssl/evp.h>

#include <atomic>
#include <thread>

#include "KelvoStack.h"
#include "LogCapture.h"
#include "ScriptedTransport.h"
#include "SettingsFixture.h"
#include "trevalon/kelvo/LongTermEncryptor.h"
#include "trevalon/kelvo/SessionEncryptor.h"

using namespace kelvo::test;
using kelvo::simulator::KelvoReaderConfig;
using kelvo::simulator::ReaderFault;
using kelvo::simulator::ReaderQuirk;
using trevalon::kelvo::KelvoBLEReaderCryptoProxy;
using trevalon::kelvo::LongTermEncryptor;
using trevalon::kelvo::SessionEncryptor;
using trevalon::kelvo::TransmitResult;
using Bytes = std::vector<uint8_t>;

namespace {

constexpr uint8_t kGetDeviceState = 13;
const std::string kAddress = "001a7dda7113";

StackOptions encrypted() {
  StackOptions options;
  options.encrypted = true;
  return options;
}

class LinkEncryption : public ::testing::Test {
 protected:
  SettingsFixture settings;
  LogCapture capture;
};

TEST_F(LinkEncryption, FirstContactAgreesStoresAndEncrypts) {
  KelvoReaderConfig config;
  KelvoStack stack(config, encrypted());
  ASSERT_TRUE(stack.connect());
  EXPECT_EQ(stack.proxy->getActiveEncryption(), 1);
  EXPECT_EQ(stack.events->read(stack.events->encryption), Bytes{1});
  ASSERT_TRUE(stack.emulator->longTermKey());
  std::optional<LongTermEncryptor::Key> stored = LongTermEncryptor::loadKey(kAddress);
  ASSERT_TRUE(stored);
  EXPECT_TRUE(std::equal(stored->begin(), stored->end(), stack.emulator->longTermKey()->begin()));
  EXPECT_TRUE(stack.emulator->hasSession());
  EXPECT_EQ(capture.count("transmit(ExchangeKey [0x03]"), 1u);

  const uint32_t before = *stack.emulator->sessionCounter();
  const TransmitResult state = stack.proxy->transmit(kGetDeviceState, {}, true);
  EXPECT_EQ(state.status, 0);
  EXPECT_EQ(state.payload.size(), 4u);
  EXPECT_EQ(*stack.emulator->sessionCounter(), before + 2) << "one count for the request, one for the answer";
}

TEST_F(LinkEncryption, ASecondConnectionReusesTheStoredKey) {
  KelvoStack stack(KelvoReaderConfig(), encrypted());
  ASSERT_TRUE(stack.connect());
  const auto key = stack.emulator->longTermKey();
  stack.native->disconnect();
  stack.emulator->setLinkUp(false);
  ASSERT_TRUE(stack.events->waitFor([&] { return stack.events->available.size() >= 2; }));
  EXPECT_EQ(stack.proxy->getActiveEncryption(), 0);
  capture.clear();
  stack.emulator->setLinkUp(true);
  ASSERT_TRUE(stack.connect());
  EXPECT_EQ(capture.count("transmit(ExchangeKey [0x03]"), 0u) << "no new agreement on the second connection";
  EXPECT_EQ(capture.count("transmit(ExchangeSessionKey [0xa0]"), 1u);
  EXPECT_EQ(stack.emulator->longTermKey(), key);
  EXPECT_EQ(stack.proxy->transmit(kGetDeviceState, {}, true).status, 0);
}

TEST_F(LinkEncryption, ReadersWithoutSessionKeysAreServedWithTheLongTermKey) {
  for (ReaderQuirk quirk : {ReaderQuirk::noSessionKey, ReaderQuirk::noSessionKey7}) {
    KelvoReaderConfig config;
    config.quirks = {quirk};
    KelvoStack stack(config, encrypted());
    ASSERT_TRUE(stack.connect());
    EXPECT_FALSE(stack.emulator->hasSession());
    EXPECT_TRUE(capture.containsAt("Warning", "SessionKey not supported by device"));
    const TransmitResult state = stack.proxy->transmit(kGetDeviceState, {}, true);
    EXPECT_EQ(state.status, 0);
    EXPECT_EQ(state.payload.size(), 4u);
    LongTermEncryptor::removeKey(kAddress);
  }
}

TEST_F(LinkEncryption, AReaderThatLostItsKeyGetsANewOne) {
  KelvoStack stack(KelvoReaderConfig(), encrypted());
  ASSERT_TRUE(stack.connect());
  const auto oldKey = stack.emulator->longTermKey();
  stack.emulator->forgetLongTermKey();
  const TransmitResult state = stack.proxy->transmit(kGetDeviceState, {}, true);
  EXPECT_EQ(state.status, 0) << "the request is repeated under a fresh key";
  EXPECT_TRUE(capture.containsAt("Info", "key is not set on the device"));
  ASSERT_TRUE(stack.emulator->longTermKey());
  EXPECT_NE(stack.emulator->longTermKey(), oldKey);
  EXPECT_EQ(stack.proxy->getActiveEncryption(), 1);
}

TEST_F(LinkEncryption, AKeyLostAtEveryConnectionIsAgreedAgain) {
  KelvoReaderConfig config;
  config.quirks = {ReaderQuirk::keyLost};
  LongTermEncryptor::Key stale{};
  stale.fill(0x42);
  ASSERT_TRUE(LongTermEncryptor::saveKey(kAddress, stale));
  KelvoStack stack(config, encrypted());
  ASSERT_TRUE(stack.connect()) << "a stored key the reader does not have must not keep it unavailable";
  // Status 6 to the session key: the stored key is dropped and a new one agreed, then the session follows.
  EXPECT_EQ(capture.count("transmit(ExchangeSessionKey [0xa0]"), 2u);
  EXPECT_EQ(capture.count("transmit(ExchangeKey [0x03]"), 1u);
  EXPECT_NE(LongTermEncryptor::loadKey(kAddress), std::optional<LongTermEncryptor::Key>(stale));
  EXPECT_EQ(stack.proxy->transmit(kGetDeviceState, {}, true).status, 0);
}

TEST_F(LinkEncryption, TheMessageCounterStaysInStepUnderConcurrentCallers) {
  KelvoStack stack(KelvoReaderConfig(), encrypted());
  ASSERT_TRUE(stack.connect());
  constexpr int kThreads = 4;
  constexpr int kRequests = 60;
  std::atomic<int> failed{0};
  std::vector<std::thread> callers;
  for (int t = 0; t < kThreads; ++t) {
    callers.emplace_back([&] {
      for (int i = 0; i < kRequests; ++i) {
        const TransmitResult state = stack.proxy->transmit(kGetDeviceState, {}, true);
        if (state.status != 0 || state.payload.size() != 4) ++failed;
      }
    });
  }
  std::thread noise([&] {
    for (int i = 0; i < 40; ++i) stack.emulator->setBatteryLevel(static_cast<uint8_t>(20 + i));
  });
  for (auto& caller : callers) caller.join();
  noise.join();
  EXPECT_EQ(failed.load(), 0);
  EXPECT_FALSE(capture.contains("key is not set on the device")) << "no request needed a new key";
}

TEST_F(LinkEncryption, ACorruptedTagIsAFailedExchange) {
  KelvoStack stack(KelvoReaderConfig(), encrypted());
  ASSERT_TRUE(stack.connect());
  ReaderFault fault;
  fault.kind = ReaderFault::Kind::corruptTag;
  fault.method = kGetDeviceState;
  stack.emulator->addFault(fault);
  const TransmitResult state = stack.proxy->transmit(kGetDeviceState, {}, true);
  EXPECT_EQ(state.status, 0xFF);
  EXPECT_TRUE(capture.containsAt("ERROR", "Expected response to be at least 1 byte long"));
  EXPECT_EQ(stack.proxy->transmit(kGetDeviceState, {}, true).status, 0) << "the counters are still in step";
}

TEST_F(LinkEncryption, OutOfRandomNumbersAsksForADisconnectionAndNoPlainLinkIsOffered) {
  KelvoReaderConfig config;
  config.quirks = {ReaderQuirk::outOfRandom};
  KelvoStack stack(config, encrypted());
  stack.ble->hasService(trevalon::ble::kReaderService, {});
  ASSERT_TRUE(stack.events->waitFor([&] { return capture.contains("Connection abourted"); }));
  EXPECT_TRUE(capture.containsAt("Info", "Device has run out of random numbers"));
  // The reader comes back after the requested disconnection with fresh random numbers; only then, with its
  // link encrypted, is it reported available.
  ASSERT_TRUE(stack.events->waitFor([&] { return !stack.events->available.empty() && stack.events->available.back(); }));
  EXPECT_EQ(stack.proxy->getActiveEncryption(), 1);
  EXPECT_EQ(stack.proxy->transmit(kGetDeviceState, {}, true).status, 0);
}

TEST_F(LinkEncryption, SwitchingToTheCurrentStateIsFreeAndUnknownStatesAreRefused) {
  KelvoStack stack(KelvoReaderConfig(), encrypted());
  ASSERT_TRUE(stack.connect());
  stack.emulator->resetCounters();
  EXPECT_TRUE(stack.proxy->setActiveEncryption(1));
  EXPECT_EQ(stack.emulator->counters().total(), 0u);
  EXPECT_FALSE(stack.proxy->setActiveEncryption(2));
  EXPECT_TRUE(capture.containsAt("Warning", "Unknown encryption format"));
  EXPECT_EQ(stack.proxy->getActiveEncryption(), 1);
}

// Key-state errors the emulator cannot repeat on demand: a scripted transport answers them.
TEST_F(LinkEncryption, TwoFailedRenewalsEndInCommunicationFailed) {
  auto transport = std::make_shared<ScriptedTransport>();
  auto proxy = std::make_shared<KelvoBLEReaderCryptoProxy>();
  proxy->setMaster(transport);
  // Readers without session keys: the agreement needs no real reader, the requests are then ECB.
  transport->answer(160, {0x02});
  // A reader that cannot use the key answers its key-state error in plain, whatever the request.
  transport->answer(0xFF, {0x05});
  LongTermEncryptor::Key key{};
  key.fill(7);
  ASSERT_TRUE(LongTermEncryptor::saveKey(kAddress, key));
  ASSERT_TRUE(proxy->setActiveEncryption(1));
  // Renewals agree a new long-term key: ExchangeKey must succeed with a valid point.
  Bytes point(33, 0);
  point[1] = 9;  // u = 9, the standard base point
  transport->answer(3, point);

  EXPECT_EQ(proxy->transmitRaw({kGetDeviceState}, true), Bytes{0x81});
  EXPECT_EQ(transport->requestsOf(0xFF), 2u) << "sent at most twice";
  EXPECT_EQ(transport->requestsOf(3), 2u) << "renewed twice";
  EXPECT_TRUE(capture.containsAt("Warning", "Communication failed"));

  transport->requests.clear();
  EXPECT_EQ(proxy->transmitRaw({kGetDeviceState}, false), Bytes{0x05}) << "without recovery the answer is returned";
  EXPECT_EQ(transport->requestsOf(3), 0u);
}

TEST_F(LinkEncryption, AnExchangeKeyAnswerOfTheWrongSizeStoresNothing) {
  auto transport = std::make_shared<ScriptedTransport>();
  Bytes shortAnswer(32, 9);
  shortAnswer[0] = 0;  // status 0 and 31 bytes
  transport->answer(3, shortAnswer);
  EXPECT_FALSE(LongTermEncryptor::create(transport, true));
  EXPECT_TRUE(capture.containsAt("ERROR", "result size (31) is not valid!"));
  EXPECT_FALSE(LongTermEncryptor::loadKey(kAddress));
  ASSERT_FALSE(transport->commands.empty());
  EXPECT_EQ(transport->commands[0], (Bytes{5, 7, 1})) << "encryption setting switched on first";
}

TEST_F(LinkEncryption, KeyAgreementValuesComeFromTheSecureGenerator) {
  auto transport = std::make_shared<ScriptedTransport>();
  Bytes point(33, 0);
  point[1] = 9;
  transport->answer(3, point);
  ASSERT_TRUE(LongTermEncryptor::create(transport, true));
  ASSERT_TRUE(LongTermEncryptor::create(transport, true));
  ASSERT_EQ(transport->requests.size(), 2u);
  EXPECT_NE(transport->requests[0], transport->requests[1]);
  EXPECT_EQ(transport->requests[0].size(), 65u);
}

TEST(SessionEncryptorCounter, CountsBigEndianInBytesOneToFourOnly) {
  struct Case {
    std::array<uint8_t, 5> before;
    std::array<uint8_t, 5> after;
  };
  const Case cases[] = {
      {{0, 0, 0, 0, 0}, {0, 0, 0, 0, 1}},
      {{0, 0, 0, 0, 0xFF}, {0, 0, 0, 1, 0}},
      {{0, 0, 0xFF, 0xFF, 0xFF}, {0, 1, 0, 0, 0}},
      {{0, 0xFF, 0xFF, 0xFF, 0xFF}, {0, 0, 0, 0, 0}},
  };
  for (const Case& c : cases) {
    std::array<uint8_t, 13> nonce{};
    std::copy(c.before.begin(), c.before.end(), nonce.begin());
    nonce[12] = 0x5A;
    SessionEncryptor::advanceCounter(nonce);
    EXPECT_TRUE(std::equal(c.after.begin(), c.after.end(), nonce.begin()));
    EXPECT_EQ(nonce[12], 0x5A);
  }
}

TEST(SessionEncryptorCcm, FirstRequestUsesCounterZeroAndTheAnswerCounterOne) {
  const Bytes key(32, 0x11);
  const std::array<uint8_t, 8> tail = {1, 2, 3, 4, 5, 6, 7, 8};
  SessionEncryptor session(key, tail);
  const Bytes sealed = session.encrypt({13});
  ASSERT_EQ(sealed.size(), 1u + 1u + 4u);
  EXPECT_EQ(sealed[0], 0xFF);

  // The reader's side, computed here with OpenSSL: request under nonce 00 00000000 tail, answer under ...01.
  auto ccm = [&](bool encrypting, uint8_t counter, const Bytes& in, Bytes& tag) {
    Bytes nonce = {0, 0, 0, 0, counter};
    nonce.insert(nonce.end(), tail.begin(), tail.end());
    EVP_CIPHER_CTX* context = EVP_CIPHER_CTX_new();
    EVP_CipherInit_ex(context, EVP_aes_256_ccm(), nullptr, nullptr, nullptr, encrypting);
    EVP_CIPHER_CTX_ctrl(context, EVP_CTRL_AEAD_SET_IVLEN, 13, nullptr);
    EVP_CIPHER_CTX_ctrl(context, EVP_CTRL_AEAD_SET_TAG, 4, encrypting ? nullptr : tag.data());
    EVP_CipherInit_ex(context, nullptr, nullptr, key.data(), nonce.data(), encrypting);
    int n = 0;
    EVP_CipherUpdate(context, nullptr, &n, nullptr, static_cast<int>(in.size()));
    Bytes out(in.size());
    const bool ok = EVP_CipherUpdate(context, out.data(), &n, in.data(), static_cast<int>(in.size())) == 1;
    if (encrypting) {
      EVP_CipherFinal_ex(context, out.data(), &n);
      tag.resize(4);
      EVP_CIPHER_CTX_ctrl(context, EVP_CTRL_AEAD_GET_TAG, 4, tag.data());
    }
    EVP_CIPHER_CTX_free(context);
    return ok ? out : Bytes();
  };
  Bytes requestTag(sealed.end() - 4, sealed.end());
  EXPECT_EQ(ccm(false, 0, Bytes(sealed.begin() + 1, sealed.end() - 4), requestTag), Bytes{13});

  Bytes answerTag;
  Bytes answer = ccm(true, 1, {0, 7, 80, 0, 1}, answerTag);
  answer.insert(answer.end(), answerTag.begin(), answerTag.end());
  EXPECT_EQ(session.decrypt(answer), (Bytes{0, 7, 80, 0, 1}));
  EXPECT_EQ(session.currentNonce()[4], 2);
}

TEST(SessionEncryptorCcm, ShortOrForgedAnswersAreRefused) {
  LogCapture capture;
  SessionEncryptor session(Bytes(32, 0x22), {});
  EXPECT_TRUE(session.decrypt({1, 2}).empty());
  EXPECT_TRUE(session.decrypt({1, 2, 3}).empty());
  EXPECT_TRUE(capture.containsAt("ERROR", "data did not fit CCM_TAG_LEN"));
  EXPECT_EQ(session.currentNonce()[4], 0) << "refused before use: the counter stays";
  EXPECT_TRUE(session.decrypt({1, 2, 3, 4, 5, 6}).empty());
  EXPECT_EQ(session.currentNonce()[4], 1) << "a forged answer still used up its counter";
}

}  // namespace
