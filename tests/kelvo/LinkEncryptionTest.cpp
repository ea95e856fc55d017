// SPDX-License-Identifier: Apache-2.0
#include <gtest/gtest.h>
#include <openssl/evp.h>

#include <atomic>
#include <thread>

#include "KelvoStack.h"
#include "LogCapture.h"
#include "ScriptedTransport.h"
#include "SettingsFixture.h"
#include "trevalon/EncryptorAES.h"
#include "trevalon/kelvo/AnswerWait.h"
#include "trevalon/kelvo/LongTermEncryptor.h"
#include "trevalon/kelvo/SessionEncryptor.h"
#include "trevalon/local/Settings.h"

using namespace kelvo::test;
using kelvo::simulator::KelvoReaderConfig;
using kelvo::simulator::KelvoReaderFault;
using kelvo::simulator::KelvoReaderQuirk;
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
  EXPECT_EQ(state.payload.size(), 6u);
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
  for (KelvoReaderQuirk quirk : {KelvoReaderQuirk::noSessionKey, KelvoReaderQuirk::noSessionKey7}) {
    KelvoReaderConfig config;
    config.quirks = {quirk};
    KelvoStack stack(config, encrypted());
    ASSERT_TRUE(stack.connect());
    EXPECT_FALSE(stack.emulator->hasSession());
    EXPECT_TRUE(capture.containsAt("Warning", "SessionKey not supported by device"));
    const TransmitResult state = stack.proxy->transmit(kGetDeviceState, {}, true);
    EXPECT_EQ(state.status, 0);
    EXPECT_EQ(state.payload.size(), 6u);
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
  config.quirks = {KelvoReaderQuirk::keyLost};
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
        if (state.status != 0 || state.payload.size() != 6) ++failed;
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
  KelvoReaderFault fault;
  fault.kind = KelvoReaderFault::Kind::corruptTag;
  fault.method = kGetDeviceState;
  stack.emulator->addFault(fault);
  const TransmitResult state = stack.proxy->transmit(kGetDeviceState, {}, true);
  EXPECT_EQ(state.status, 0xFF);
  EXPECT_TRUE(capture.containsAt("ERROR", "Expected response to be at least 1 byte long"));
  EXPECT_EQ(stack.proxy->transmit(kGetDeviceState, {}, true).status, 0) << "a fresh session for the next request";
}

// Whatever happens to one answer on the air, the next request is served under a fresh session with the same
// long-term key; the host never seals a request under a counter value the reader has already used.
TEST_F(LinkEncryption, EveryKindOfDamagedAnswerIsFollowedByAWorkingLink) {
  struct Case {
    const char* name;
    KelvoReaderFault fault;
    bool answerLost;  // the request that meets the fault fails
    // A copy of the last answer that arrives during the next exchange is only told apart by its counter: that
    // exchange fails, clearly.
    int failuresAllowed = 0;
    bool readerComesBack = false;  // the link was lost: the reader reconnects once back in range
  };
  auto fault = [](KelvoReaderFault::Kind kind) {
    KelvoReaderFault f;
    f.kind = kind;
    f.method = kGetDeviceState;
    return f;
  };
  KelvoReaderFault dropped = fault(KelvoReaderFault::Kind::dropPackage);
  dropped.packages = {0};
  KelvoReaderFault repeated = fault(KelvoReaderFault::Kind::repeatPackage);
  repeated.packages = {0};
  KelvoReaderFault late = fault(KelvoReaderFault::Kind::delay);
  late.delayMs = 5000;  // past the 4 s this stack waits for a package
  const Case cases[] = {
      {"lost answer", dropped, true},
      {"repeated answer", repeated, false, 1},
      {"late answer", late, false, 1},
      {"damaged tag", fault(KelvoReaderFault::Kind::corruptTag), true},
      {"link lost instead of the answer", fault(KelvoReaderFault::Kind::dropLink), true, 0, true},
  };
  for (const Case& c : cases) {
    SettingsFixture freshSettings;
    // Room for a loaded machine (sanitizer builds, parallel tests): only the late answer may miss the wait.
    StackOptions options = encrypted();
    options.characteristicTimeout = std::chrono::seconds(4);
    KelvoStack stack(KelvoReaderConfig(), options);
    ASSERT_TRUE(stack.connect()) << c.name;
    const auto key = stack.emulator->longTermKey();
    stack.emulator->addFault(c.fault);
    const TransmitResult met = stack.proxy->transmit(kGetDeviceState, {}, true);
    if (c.answerLost) {
      EXPECT_NE(met.status, 0) << c.name;
    } else if (met.status == 0) {
      EXPECT_EQ(met.payload.size(), 6u) << c.name;
    }
    if (c.readerComesBack) {
      stack.emulator->setLinkUp(true);
      ASSERT_TRUE(stack.connect()) << c.name;
    }
    int failures = 0;
    for (int i = 0; i < 3; ++i) {
      const TransmitResult state = stack.proxy->transmit(kGetDeviceState, {}, true);
      if (state.status != 0) {
        EXPECT_NE(state.status, 0x02) << c.name << ": a clear failure, never taken for unsupported";
        ++failures;
        continue;
      }
      EXPECT_EQ(state.payload.size(), 6u) << c.name;
    }
    EXPECT_LE(failures, c.failuresAllowed) << c.name;
    EXPECT_EQ(stack.emulator->longTermKey(), key) << c.name << ": the long-term key stays";
    EXPECT_FALSE(capture.contains("key is not set on the device")) << c.name;
    EXPECT_EQ(capture.count("transmit(ExchangeKey [0x03]"), 1u) << c.name << ": only the first contact";
    capture.clear();
  }
}

// On a slow link a copy of an answer, or an answer the host gave up on, is still on the air when the next
// request goes out; nothing in an answer names its request. The host must not go on taking each answer for
// the next request's (and agreeing sessions from answers meant for others) once it is out of step.
TEST_F(LinkEncryption, AnAnswerStillOnTheAirIsNeverTakenForTheNextRequests) {
  struct Case {
    const char* name;
    KelvoReaderFault::Kind kind;
    int delayMs;
  };
  const Case cases[] = {
      {"repeated answer", KelvoReaderFault::Kind::repeatPackage, 0},
      {"late answer", KelvoReaderFault::Kind::delay, 2500},
  };
  for (const Case& c : cases) {
    SettingsFixture freshSettings;
    StackOptions options = encrypted();
    KelvoStack stack(KelvoReaderConfig(), options);
    ASSERT_TRUE(stack.connect()) << c.name;
    trevalon::sim::LinkModel::Parameters slow;
    slow.interval = std::chrono::milliseconds(60);
    slow.packetsPerInterval = 1;
    stack.radio->setLinkModel(slow);
    KelvoReaderFault fault;
    fault.kind = c.kind;
    fault.method = kGetDeviceState;
    fault.packages = {0};
    fault.delayMs = c.delayMs;
    stack.emulator->addFault(fault);
    stack.proxy->transmit(kGetDeviceState, {}, true);
    int failures = 0;
    for (int i = 0; i < 4; ++i) {
      if (stack.proxy->transmit(kGetDeviceState, {}, true).status != 0) ++failures;
    }
    EXPECT_LE(failures, 1) << c.name;
    EXPECT_EQ(stack.proxy->transmit(kGetDeviceState, {}, true).status, 0) << c.name << ": back in step";
    capture.clear();
  }
}

TEST_F(LinkEncryption, ALostAnswerToAPromptRequestIsGivenUpSoonerThanACardCommands) {
  StackOptions options = encrypted();
  options.characteristicTimeout = std::chrono::seconds(30);
  KelvoStack stack(KelvoReaderConfig(), options);
  ASSERT_TRUE(stack.connect());
  KelvoReaderFault dropped;
  dropped.kind = KelvoReaderFault::Kind::dropPackage;
  dropped.method = kGetDeviceState;
  dropped.packages = {0};
  stack.emulator->addFault(dropped);
  const auto start = std::chrono::steady_clock::now();
  EXPECT_EQ(stack.proxy->transmit(kGetDeviceState, {}, true).status, 0x81);
  const auto waited = std::chrono::steady_clock::now() - start;
  EXPECT_GE(waited, trevalon::kelvo::AnswerWait::kPrompt - std::chrono::milliseconds(100));
  EXPECT_LT(waited, trevalon::kelvo::AnswerWait::kSlow - std::chrono::seconds(2))
      << "a device state is answered from memory: not the wait of a card command, nor the characteristic's 30 s";
  EXPECT_EQ(stack.proxy->transmit(kGetDeviceState, {}, true).status, 0);
}

TEST_F(LinkEncryption, AnIdleDisconnectEndsTheSessionOnBothSides) {
  KelvoStack stack(KelvoReaderConfig(), encrypted());
  ASSERT_TRUE(stack.connect());
  ASSERT_EQ(stack.proxy->transmit(kGetDeviceState, {}, true).status, 0);
  stack.native->disconnect();
  ASSERT_TRUE(stack.events->waitFor([&] { return !stack.native->isConnected(); }));
  capture.clear();
  EXPECT_EQ(stack.proxy->transmit(kGetDeviceState, {}, true).status, 0);
  EXPECT_EQ(capture.count("transmit(ExchangeSessionKey [0xa0]"), 1u) << "a fresh session after the link came back";
  EXPECT_EQ(capture.count("transmit(ExchangeKey [0x03]"), 0u);
}

TEST_F(LinkEncryption, AReaderThatAgreedSessionsIsNeverTakenDownToTheLongTermKey) {
  {
    KelvoStack stack(KelvoReaderConfig(), encrypted());
    ASSERT_TRUE(stack.connect());
  }
  EXPECT_TRUE(SessionEncryptor::isKnownSessionCapable(kAddress));
  // The same reader now claims not to know session keys, as a forged status byte would.
  KelvoReaderConfig config;
  config.quirks = {KelvoReaderQuirk::noSessionKey};
  KelvoStack stack(config, encrypted());
  stack.ble->hasService(trevalon::ble::kReaderService, {});
  ASSERT_TRUE(stack.events->waitFor([&] { return capture.contains("Connection abourted"); }));
  EXPECT_TRUE(capture.containsAt("ERROR", "the reader agreed session keys before and now refuses them"));
  EXPECT_FALSE(capture.contains("SessionKey not supported by device"));
  EXPECT_TRUE(stack.events->read(stack.events->available).empty()) << "never reported available";
}

TEST_F(LinkEncryption, ReadersWithoutSessionKeysAcceptAnswersWithoutPayload) {
  KelvoReaderConfig config;
  config.quirks = {KelvoReaderQuirk::noSessionKey};
  KelvoStack stack(config, encrypted());
  ASSERT_TRUE(stack.connect());
  const TransmitResult set = stack.proxy->transmit(9, {6, 0}, true);  // SetSettings: buzzer off
  EXPECT_EQ(set.status, 0);
  EXPECT_TRUE(set.payload.empty());
  EXPECT_EQ(stack.emulator->state().setting(6), 0);
}

TEST_F(LinkEncryption, OutOfRandomNumbersAsksForADisconnectionAndNoPlainLinkIsOffered) {
  KelvoReaderConfig config;
  config.quirks = {KelvoReaderQuirk::outOfRandom};
  KelvoStack stack(config, encrypted());
  stack.ble->hasService(trevalon::ble::kReaderService, {});
  ASSERT_TRUE(stack.events->waitFor([&] { return capture.contains("Connection abourted"); }));
  EXPECT_TRUE(capture.containsAt("Info", "Device has run out of random numbers"));
  // The reader comes back after the requested disconnection with fresh random numbers; only then, with its
  // link encrypted, is it reported available.
  ASSERT_TRUE(
      stack.events->waitFor([&] { return !stack.events->available.empty() && stack.events->available.back(); }));
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

// Key-state errors and forged bytes the emulator cannot give on demand: a scripted transport answers them, as a
// reader without session keys (AES-ECB under a long-term key the test knows).
class ScriptedLink : public LinkEncryption {
 protected:
  void SetUp() override {
    key.fill(7);
    ASSERT_TRUE(LongTermEncryptor::saveKey(kAddress, key));
    proxy->setMaster(transport);
    transport->answer(160, {0x02});
    Bytes point(33, 0);
    point[1] = 9;  // u = 9, the standard base point: a new long-term key can be agreed
    transport->answer(3, point);
  }

  // The reader's answer: status in plain, then the payload encrypted under the stored key.
  Bytes sealedAnswer(const Bytes& payload) {
    trevalon::EncryptorAES aes(Bytes(key.begin(), key.end()));
    Bytes answer{0};
    const Bytes blocks = aes.encrypt(payload);
    answer.insert(answer.end(), blocks.begin(), blocks.end());
    return answer;
  }

  LongTermEncryptor::Key key{};
  std::shared_ptr<ScriptedTransport> transport = std::make_shared<ScriptedTransport>();
  std::shared_ptr<KelvoBLEReaderCryptoProxy> proxy = std::make_shared<KelvoBLEReaderCryptoProxy>();
};

TEST_F(ScriptedLink, KeyStateErrorsTryAFreshSessionThenANewKeyThenGiveUp) {
  ASSERT_TRUE(proxy->setActiveEncryption(1));
  transport->requests.clear();
  transport->answer(0xFF, {0x05});

  EXPECT_EQ(proxy->transmitRaw({kGetDeviceState}, true), Bytes{0x81});
  EXPECT_EQ(transport->requestsOf(0xFF), 3u) << "first try, after a fresh session, after a new key";
  EXPECT_EQ(transport->requestsOf(160), 2u) << "two renewals";
  EXPECT_EQ(transport->requestsOf(3), 1u) << "the stored key is replaced only once the fresh session failed too";
  EXPECT_TRUE(capture.containsAt("Warning", "Communication failed"));

  transport->requests.clear();
  EXPECT_EQ(proxy->transmitRaw({kGetDeviceState}, false), Bytes{0x05}) << "without recovery the answer is returned";
  EXPECT_EQ(transport->requestsOf(3), 0u);
}

TEST_F(ScriptedLink, ALoneKeyStateByteDoesNotCostTheStoredKey) {
  ASSERT_TRUE(proxy->setActiveEncryption(1));
  transport->requests.clear();
  transport->answerOnce(0xFF, {0x05});
  transport->responders[0xFF] = [&](const Bytes&) { return sealedAnswer({1, 2, 3, 4}); };

  EXPECT_EQ(proxy->transmitRaw({kGetDeviceState}, true), (Bytes{0, 1, 2, 3, 4}));
  EXPECT_TRUE(capture.containsAt("Info", "key is not set on the device"));
  EXPECT_EQ(transport->requestsOf(3), 0u) << "no new key agreed";
  EXPECT_EQ(LongTermEncryptor::loadKey(kAddress), std::optional<LongTermEncryptor::Key>(key));
  EXPECT_EQ(proxy->getActiveEncryption(), 1);
}

TEST_F(ScriptedLink, AnEmptyPayloadIsASuccessAndAPlainSuccessIsNot) {
  ASSERT_TRUE(proxy->setActiveEncryption(1));
  transport->responders[0xFF] = [&](const Bytes&) { return sealedAnswer({}); };
  EXPECT_EQ(proxy->transmitRaw({9, 6, 0}, true), Bytes{0}) << "a status without payload still carries its padding";

  // Only the reader's key can say success: a lone plain 0 may come from anyone on the air.
  transport->responders.clear();
  transport->answer(0xFF, {0x00});
  EXPECT_TRUE(proxy->transmitRaw({9, 6, 0}, true).empty());
  EXPECT_TRUE(capture.containsAt("ERROR", "an unencrypted success cannot answer an encrypted request"));
}

TEST_F(ScriptedLink, AFailedRenewalNeverLetsARequestOutInPlain) {
  ASSERT_TRUE(proxy->setActiveEncryption(1));
  transport->answer(0xFF, {0x05});
  transport->answer(160, {0x01});  // every later session agreement fails
  transport->requests.clear();
  EXPECT_EQ(proxy->transmitRaw({kGetDeviceState}, true), Bytes{0x05});
  EXPECT_EQ(proxy->transmitRaw({kGetDeviceState}, true), Bytes{0x81}) << "no session: the request is not sent";
  EXPECT_EQ(transport->requestsOf(kGetDeviceState), 0u) << "nothing went out unencrypted";
  EXPECT_EQ(proxy->getActiveEncryption(), 1);
}

TEST_F(ScriptedLink, KeyAgreementsAreNeverTakenAsUnsupported) {
  EXPECT_EQ(transport->transmit(160, Bytes(21, 1), false).status, 2);
  EXPECT_EQ(transport->transmit(160, Bytes(21, 1), false).status, 2);
  EXPECT_EQ(transport->requestsOf(160), 2u) << "a forged 2 must not end session keys for the life of the stack";
}

TEST_F(LinkEncryption, ANewKeyIsStoredBeforeTheReaderIsToldToKeepIt) {
  // A store that refuses every write: a full disk, a read-only directory.
  class RefusingSettings : public trevalon::local::Settings {
   public:
    bool isset(const std::string&) override { return false; }
    bool unset(const std::string&) override { return true; }
    std::shared_ptr<std::vector<uint8_t>> get_raw(const std::string&) override { return nullptr; }
    bool set_raw(const std::string&, const std::vector<uint8_t>&) override { return false; }
  };
  trevalon::local::Facade::instance().setSettings(std::make_shared<RefusingSettings>());
  auto transport = std::make_shared<ScriptedTransport>();
  Bytes point(33, 0);
  point[1] = 9;
  transport->answer(3, point);
  EXPECT_FALSE(LongTermEncryptor::create(transport, true));
  EXPECT_TRUE(capture.containsAt("ERROR", "failed to save key"));
  for (const Bytes& command : transport->commands) {
    EXPECT_NE(command.front(), 7) << "the reader was told to keep a key we do not have";
  }
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
    const bool wrapped = SessionEncryptor::advanceCounter(nonce);
    EXPECT_TRUE(std::equal(c.after.begin(), c.after.end(), nonce.begin()));
    EXPECT_EQ(nonce[12], 0x5A);
    EXPECT_EQ(wrapped, c.before[1] == 0xFF) << "only the last value wraps";
  }
}

TEST(SessionEncryptorCounter, NoCounterValueIsUsedTwice) {
  LogCapture capture;
  // Two values left: one request and its answer.
  SessionEncryptor session(Bytes(32, 0x33), {}, 0xFFFFFFFE);
  EXPECT_FALSE(session.needsRenewal());
  ASSERT_FALSE(session.encrypt({13}).empty());
  EXPECT_TRUE(session.needsRenewal()) << "one value left is not enough for another request";
  EXPECT_TRUE(session.encrypt({13}).empty()) << "its answer would need a value past the end";
  EXPECT_TRUE(capture.containsAt("ERROR", "the session's message counter is used up"));
  session.decrypt(Bytes(8, 0));  // the answer's value, used up whatever the answer was
  EXPECT_TRUE(session.needsRenewal());
  EXPECT_FALSE(session.decrypt(Bytes(8, 0))) << "after the last value nothing is opened under the wrapped counter";
  EXPECT_EQ(session.currentNonce()[4], 0);
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
  EXPECT_FALSE(session.decrypt({1, 2}));
  EXPECT_FALSE(session.decrypt({1, 2, 3}));
  EXPECT_TRUE(capture.containsAt("ERROR", "data did not fit CCM_TAG_LEN"));
  EXPECT_EQ(session.currentNonce()[4], 0) << "refused before use: the counter stays";
  EXPECT_FALSE(session.decrypt({1, 2, 3, 4, 5, 6}));
  EXPECT_EQ(session.currentNonce()[4], 1) << "a forged answer still used up its counter";
}

}  // namespace
