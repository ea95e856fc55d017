// SPDX-License-Identifier: Apache-2.0
// The driver's card channels, the way pcscd's IFD handler uses them: every reader's card (Kelvo and Pentaloq)
// reached through the library's card path, extended APDUs, waits for a card change that cost nothing while
// nothing happens, and the reader list pcscd is started with.

#include <sys/stat.h>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <fstream>
#include <future>
#include <sstream>
#include <thread>

#include "CardRequests.h"
#include "Driver.h"
#include "DriverStatus.h"
#include "FixedSeatSessions.h"
#include "PeerProcess.h"
#include "RawClient.h"
#include "ReaderDiscovery.h"
#include "RequestDispatcher.h"
#include "TempDirectory.h"
#include "TestUsers.h"
#include "kelvo/simulator/kelvo/KelvoReaderFault.h"
#include "kelvo/simulator/scenario/Scenario.h"
#include "trevalon/local/Facade.h"
#include "trevalon/local/FileSettings.h"
#include "trevalon/local/LinuxMachine.h"
#include "trevalon/sim/RadioSim.h"

namespace kelvo::driver {
namespace {

using test::RawClient;
using testing::HasSubstr;
using testing::Not;
using namespace std::chrono_literals;
using Bytes = std::vector<uint8_t>;

constexpr const char* kKelvo = "001a7dda7113";
constexpr const char* kPentaloq = "5e0a1c000001";
constexpr const char* kHandler = "/usr/lib/pcsc/drivers/serial/libkelvo-ifd.so";

const char* const kScenario = R"({ "devices": [
  { "family": "kelvo", "address": "001a7dda7113", "generation": 2,
    "card": { "atr": "3B8180018080",
              "piv": { "holder": "Erika Mustermann", "pin": "123456", "puk": "12345678", "pin-tries": 3 } } },
  { "family": "pentaloq", "address": "5e0a1c000001", "card": { "atr": "3B8180018081" } }
] })";

const Bytes kSelectPiv = {0x00, 0xA4, 0x04, 0x00, 0x09, 0xA0, 0x00, 0x00, 0x03, 0x08, 0x00, 0x00, 0x10, 0x00, 0x00};

// An extended-length echo (CLA 80, INS EE) of `dataSize` bytes: 4 header bytes, 3 of Lc, the data, 2 of Le.
Bytes extendedEcho(size_t dataSize) {
  Bytes apdu = {0x80, 0xEE, 0x00, 0x00, 0x00, static_cast<uint8_t>(dataSize >> 8), static_cast<uint8_t>(dataSize)};
  for (size_t i = 0; i < dataSize; ++i) apdu.push_back(static_cast<uint8_t>(i * 7));
  apdu.push_back(0x00);
  apdu.push_back(0x00);
  return apdu;
}

Bytes waitRequest(uint8_t known, uint32_t milliseconds) {
  return {CardRequests::kWaitForChange,
          known,
          static_cast<uint8_t>(milliseconds),
          static_cast<uint8_t>(milliseconds >> 8),
          static_cast<uint8_t>(milliseconds >> 16),
          static_cast<uint8_t>(milliseconds >> 24)};
}

Bytes withCode(uint8_t code, const Bytes& payload = {}) {
  Bytes request{code};
  request.insert(request.end(), payload.begin(), payload.end());
  return request;
}

class CardChannelTest : public ::testing::Test {
 protected:
  void SetUp() override {
    trevalon::local::Facade::instance().setSettings(std::make_shared<trevalon::local::FileSettings>(settings.path()));
    trevalon::local::Facade::instance().setMachine(std::make_shared<trevalon::local::LinuxMachine>());
    std::ofstream(files.file("readers.json")) << kScenario;
    scenario.emplace(simulator::Scenario::fromFile(radio, files.file("readers.json")));
    radio->waitIdle();
    discovery = std::make_unique<ReaderDiscovery>(
        std::make_unique<trevalon::ble::Backend>(std::make_unique<trevalon::sim::RadioSim>(radio),
                                                 ReaderDiscovery::backendOptions()),
        50ms);
    driver = std::make_shared<Driver>(files.file("run"),
                                      std::make_shared<PeerPolicy>(std::make_shared<test::FixedSeatSessions>()),
                                      ReaderSocketLimits(), kHandler);
    ASSERT_TRUE(driver->prepareRuntimeDirectory());
    discovery->devices()->addObserver(driver);
    discovery->start();
    ASSERT_TRUE(RawClient::waitForPath(card(kKelvo), true, 10s));
    ASSERT_TRUE(RawClient::waitForPath(card(kPentaloq), true, 10s));
  }

  void TearDown() override {
    discovery->stop();
    driver->stopAll();
    discovery.reset();
    driver.reset();
    scenario.reset();
    radio.reset();
    trevalon::local::Facade::instance().setSettings(nullptr);
  }

  std::string card(const std::string& address) { return driver->cardSocketPathOf(address); }

  Bytes ask(const std::string& address, const Bytes& request, std::chrono::milliseconds limit = 10s) {
    return RawClient::exchange(card(address), request, limit).value_or(Bytes{});
  }

  // Waits until the reader's link is up and its card is known to be in it.
  bool cardReady(const std::string& address) {
    for (int attempt = 0; attempt < 200; ++attempt) {
      if (ask(address, {CardRequests::kCardStatus}) == Bytes{kStatusSuccess, 1}) return true;
      std::this_thread::sleep_for(50ms);
    }
    return false;
  }

  std::string readerList() {
    std::ifstream in(driver->pcscReaderListPath());
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
  }

  // Runs until the list's FRIENDLYNAME lines are `names`, at most 10 s.
  bool listNamesBecome(const std::vector<std::string>& names) {
    for (int attempt = 0; attempt < 200; ++attempt) {
      std::vector<std::string> found;
      std::istringstream lines(readerList());
      for (std::string line; std::getline(lines, line);) {
        if (line.rfind("FRIENDLYNAME ", 0) == 0) found.push_back(line.substr(13));
      }
      if (found == names) return true;
      std::this_thread::sleep_for(50ms);
    }
    return false;
  }

  test::TempDirectory files;
  test::TempDirectory settings;
  std::shared_ptr<trevalon::sim::SimulatedRadio> radio = trevalon::sim::SimulatedRadio::create();
  std::optional<simulator::Scenario> scenario;
  std::unique_ptr<ReaderDiscovery> discovery;
  std::shared_ptr<Driver> driver;
};

TEST_F(CardChannelTest, EveryReaderGetsACardChannelForRootAndAnEntryInPcscdsList) {
  EXPECT_EQ(driver->cardAddresses(), (std::vector<std::string>{kKelvo, kPentaloq}));
  EXPECT_EQ(driver->servedAddresses(), std::vector<std::string>{kKelvo}) << "the application's socket: Kelvo only";
  struct stat info {};
  ASSERT_EQ(::stat(card(kPentaloq).c_str(), &info), 0);
  EXPECT_EQ(info.st_mode & 07777, 0600u);
  EXPECT_EQ(card(kKelvo), files.file("run") + "/kelvo-card_001a7dda7113");

  EXPECT_TRUE(listNamesBecome({"\"Kelvo 001a7dda7113\"", "\"Pentaloq 5e0a1c000001\""}));
  const std::string list = readerList();
  EXPECT_THAT(list, HasSubstr("FRIENDLYNAME \"Kelvo 001a7dda7113\"\nDEVICENAME " + card(kKelvo) + "\nLIBPATH " +
                              kHandler + "\nCHANNELID 0\n"));
  EXPECT_THAT(list, HasSubstr("DEVICENAME " + card(kPentaloq) + "\n"));
  ASSERT_EQ(::stat(driver->pcscReaderListPath().c_str(), &info), 0);
  EXPECT_EQ(info.st_mode & 07777, 0644u);
}

TEST_F(CardChannelTest, BothFamiliesCardsArePoweredAndAnswerShortAndExtendedApdus) {
  const struct {
    const char* address;
    Bytes atr;
  } readers[] = {{kKelvo, {0x3B, 0x81, 0x80, 0x01, 0x80, 0x80}}, {kPentaloq, {0x3B, 0x81, 0x80, 0x01, 0x80, 0x81}}};
  for (const auto& reader : readers) {
    SCOPED_TRACE(reader.address);
    ASSERT_TRUE(cardReady(reader.address));
    Bytes expectedAtr{kStatusSuccess};
    expectedAtr.insert(expectedAtr.end(), reader.atr.begin(), reader.atr.end());
    EXPECT_EQ(ask(reader.address, {CardRequests::kPowerUp}), expectedAtr);

    const Bytes selected = ask(reader.address, withCode(CardRequests::kTransmit, kSelectPiv));
    ASSERT_GE(selected.size(), 3u);
    EXPECT_EQ(selected[0], kStatusSuccess);

    // The longest APDU the channel carries: 1024 bytes, its echo answered with the data and 90 00.
    const Bytes apdu = extendedEcho(CardRequests::kMaxApdu - 9);
    ASSERT_EQ(apdu.size(), CardRequests::kMaxApdu);
    const Bytes echoed = ask(reader.address, withCode(CardRequests::kTransmit, apdu));
    Bytes expected{kStatusSuccess};
    expected.insert(expected.end(), apdu.begin() + 7, apdu.end() - 2);
    expected.push_back(0x90);
    expected.push_back(0x00);
    EXPECT_EQ(echoed, expected);

    EXPECT_EQ(ask(reader.address, {CardRequests::kPowerDown}), Bytes{kStatusSuccess});
    EXPECT_EQ(ask(reader.address, withCode(CardRequests::kTransmit, kSelectPiv)), Bytes{kStatusCardMute})
        << "a card powered down takes no APDU until it is powered up again";
    EXPECT_EQ(ask(reader.address, {CardRequests::kPowerUp}), expectedAtr);
  }
}

TEST_F(CardChannelTest, MalformedCardRequestsAreRefusedWithoutRadioTraffic) {
  ASSERT_TRUE(cardReady(kKelvo));
  auto emulator = scenario->reader(kKelvo);
  ASSERT_TRUE(emulator);
  // The library may still finish bringing the reader up after the card is ready (later on a loaded machine): the
  // count starts once the air has been quiet for a moment.
  bool quiet = false;
  for (int attempt = 0; attempt < 20 && !quiet; ++attempt) {
    emulator->resetCounters();
    std::this_thread::sleep_for(300ms);
    quiet = emulator->counters().total() == 0;
  }
  ASSERT_TRUE(quiet) << "the reader's link never went quiet";
  const struct {
    Bytes request;
    Bytes answer;
  } cases[] = {
      {withCode(CardRequests::kTransmit, {0x00, 0xA4, 0x04}), {kStatusWrongSize}},
      {withCode(CardRequests::kTransmit, Bytes(CardRequests::kMaxApdu + 1, 0x00)), {kStatusWrongSize}},
      {{CardRequests::kCardStatus, 0}, {kStatusWrongSize}},
      {{CardRequests::kPowerUp, 0}, {kStatusWrongSize}},
      {{CardRequests::kPowerDown, 1, 2}, {kStatusWrongSize}},
      {{CardRequests::kWaitForChange, 1, 0, 0}, {kStatusWrongSize}},
      {waitRequest(2, 100), {kStatusWrongSize}},
      {waitRequest(1, CardRequests::kMaxWaitMs + 1), {kStatusWrongSize}},
      {{RequestDispatcher::kGetDeviceState}, {kStatusUnknownRequest}},
      {{RequestDispatcher::kTransmitRpc, 24}, {kStatusUnknownRequest}},
      {{0x45}, {kStatusUnknownRequest}},
  };
  for (const auto& each : cases) {
    EXPECT_EQ(ask(kKelvo, each.request), each.answer)
        << "request code " << int{each.request[0]} << ", " << each.request.size() << " bytes";
  }
  // More than the channel carries at all: refused before it is read to its end.
  EXPECT_EQ(ask(kKelvo, withCode(CardRequests::kTransmit, Bytes(2000, 0x00))), Bytes{kStatusWrongSize});
  EXPECT_EQ(emulator->counters().total(), 0u);
  // And the application's socket knows nothing of the card channel's requests.
  EXPECT_EQ(RawClient::exchange(driver->socketPathOf(kKelvo), withCode(CardRequests::kTransmit, kSelectPiv)),
            Bytes{kStatusUnknownRequest});
}

TEST_F(CardChannelTest, OnlyRootGetsTheCardChannel) {
  if (::geteuid() != 0) GTEST_SKIP() << "acting as another user takes root";
  ASSERT_TRUE(cardReady(kKelvo));
  ASSERT_EQ(::chmod(files.path().c_str(), 0755), 0);
  // Even a user the application's sockets serve (a member of the driver's group would be one) is refused here;
  // the socket file's mode keeps others out before the check does.
  ASSERT_EQ(::chmod(card(kKelvo).c_str(), 0666), 0);
  const uid_t stranger = test::TestUsers::unknownUid(42001);
  for (const Bytes& request : {Bytes{CardRequests::kCardStatus}, withCode(CardRequests::kTransmit, kSelectPiv)}) {
    EXPECT_EQ(test::PeerProcess::exchange(stranger, stranger, card(kKelvo), request), "fa")
        << "request code " << int{request[0]};
  }
}

TEST_F(CardChannelTest, AWaitAnswersTheCardLeavingAndComingBackAndEndsWithItsTime) {
  // A Kelvo reader tells of its card coming and going; see below for a Pentaloq reader.
  for (const char* address : {kKelvo}) {
    SCOPED_TRACE(address);
    ASSERT_TRUE(cardReady(address));
    // Nothing changes: the wait ends with its time and the presence as it was.
    const auto before = std::chrono::steady_clock::now();
    EXPECT_EQ(ask(address, waitRequest(1, 300)), (Bytes{kStatusSuccess, 1}));
    EXPECT_GE(std::chrono::steady_clock::now() - before, 300ms);
    // The client knew an older presence: answered at once.
    EXPECT_EQ(ask(address, waitRequest(0, 60000), 2s), (Bytes{kStatusSuccess, 1}));

    auto removed = std::async(std::launch::async, [&] { return ask(address, waitRequest(1, 60000), 20s); });
    std::this_thread::sleep_for(200ms);
    scenario->reader(address)->removeCard();
    ASSERT_EQ(removed.wait_for(5s), std::future_status::ready);
    EXPECT_EQ(removed.get(), (Bytes{kStatusSuccess, 0}));

    auto inserted = std::async(std::launch::async, [&] { return ask(address, waitRequest(0, 60000), 20s); });
    std::this_thread::sleep_for(200ms);
    scenario->reader(address)->insertOwnCard();
    ASSERT_EQ(inserted.wait_for(5s), std::future_status::ready);
    EXPECT_EQ(inserted.get(), (Bytes{kStatusSuccess, 1}));
  }
}

// A Pentaloq reader sends no word when its card leaves: its card counts as in while the reader is in range, a card
// that is not there shows when it cannot be powered, and the reader's next arrival counts its card in again.
TEST_F(CardChannelTest, APentaloqReadersCardIsInWhileTheReaderIsInRangeAndAMissingOneCannotBePowered) {
  ASSERT_TRUE(cardReady(kPentaloq));
  scenario->pentaloqReader(kPentaloq)->removeCard();
  EXPECT_EQ(ask(kPentaloq, {CardRequests::kCardStatus}), (Bytes{kStatusSuccess, 1}));
  EXPECT_EQ(ask(kPentaloq, {CardRequests::kPowerUp}), Bytes{kStatusCardMute});
  EXPECT_EQ(ask(kPentaloq, {CardRequests::kCardStatus}), (Bytes{kStatusSuccess, 0}));
  scenario->pentaloqReader(kPentaloq)->insertOwnCard();
  radio->removePeripheral(kPentaloq);
  ASSERT_TRUE(RawClient::waitForPath(card(kPentaloq), false, 5s));
  radio->addPeripheral(scenario->pentaloqReader(kPentaloq));
  ASSERT_TRUE(RawClient::waitForPath(card(kPentaloq), true, 5s));
  ASSERT_TRUE(cardReady(kPentaloq));
  const Bytes atr = ask(kPentaloq, {CardRequests::kPowerUp});
  ASSERT_FALSE(atr.empty());
  EXPECT_EQ(atr[0], kStatusSuccess);
}

TEST_F(CardChannelTest, AWaiterThatHangsUpFreesItsPlace) {
  ASSERT_TRUE(cardReady(kKelvo));
  // As many waits as the socket serves at once, each hung up while it waits, as a stopped pcscd leaves them.
  const size_t places = ReaderSocketLimits().total;
  std::vector<int> waiting;
  for (size_t i = 0; i < places; ++i) {
    const int fd = RawClient::connectTo(card(kKelvo));
    ASSERT_GE(fd, 0);
    const Bytes request = waitRequest(1, 60000);
    ASSERT_EQ(::send(fd, request.data(), request.size(), MSG_NOSIGNAL), static_cast<ssize_t>(request.size()));
    ::shutdown(fd, SHUT_WR);
    waiting.push_back(fd);
  }
  std::this_thread::sleep_for(200ms);
  EXPECT_EQ(ask(kKelvo, {CardRequests::kCardStatus}, 300ms), Bytes{}) << "every place is taken";
  for (int fd : waiting) ::close(fd);
  EXPECT_EQ(ask(kKelvo, {CardRequests::kCardStatus}, 1s), (Bytes{kStatusSuccess, 1}))
      << "the hung-up waits gave their places back at once";
}

TEST_F(CardChannelTest, AReaderLostWhileItsCardIsAwaitedAnswersAtOnceAndLeavesTheList) {
  ASSERT_TRUE(cardReady(kPentaloq));
  ASSERT_TRUE(listNamesBecome({"\"Kelvo 001a7dda7113\"", "\"Pentaloq 5e0a1c000001\""}));
  auto waiting = std::async(std::launch::async, [&] { return ask(kPentaloq, waitRequest(1, 60000), 20s); });
  std::this_thread::sleep_for(200ms);
  radio->removePeripheral(kPentaloq);
  ASSERT_EQ(waiting.wait_for(5s), std::future_status::ready);
  // The link goes first (no card can be reached) or the reader's loss ends the wait: either way at once.
  EXPECT_THAT(waiting.get(), testing::AnyOf(Bytes{kStatusSuccess, 0}, Bytes{kStatusDeviceRemoved}));
  EXPECT_TRUE(RawClient::waitForPath(card(kPentaloq), false, 5s));
  EXPECT_TRUE(listNamesBecome({"\"Kelvo 001a7dda7113\""}));

  radio->addPeripheral(scenario->pentaloqReader(kPentaloq));
  EXPECT_TRUE(listNamesBecome({"\"Kelvo 001a7dda7113\"", "\"Pentaloq 5e0a1c000001\""}));
  EXPECT_TRUE(cardReady(kPentaloq));
}

TEST_F(CardChannelTest, AReaderLostDuringAnApduAnswersAtOnce) {
  ASSERT_TRUE(cardReady(kKelvo));
  ASSERT_EQ(ask(kKelvo, {CardRequests::kPowerUp})[0], kStatusSuccess);
  // The card's answers (the reader's SCard function) are held back long enough for the reader to leave meanwhile.
  simulator::KelvoReaderFault slow;
  slow.kind = simulator::KelvoReaderFault::Kind::delay;
  slow.method = 2;
  slow.delayMs = 3000;
  slow.times = 0;
  scenario->reader(kKelvo)->addFault(slow);
  auto sent =
      std::async(std::launch::async, [&] { return ask(kKelvo, withCode(CardRequests::kTransmit, kSelectPiv)); });
  std::this_thread::sleep_for(300ms);
  const auto lostAt = std::chrono::steady_clock::now();
  radio->removePeripheral(kKelvo);
  ASSERT_EQ(sent.wait_for(10s), std::future_status::ready);
  EXPECT_EQ(sent.get(), Bytes{kStatusDeviceRemoved});
  EXPECT_LT(std::chrono::steady_clock::now() - lostAt, 2s) << "not after the held-back answer";
}

TEST_F(CardChannelTest, StoppingEmptiesTheListAndEndsTheWaits) {
  ASSERT_TRUE(cardReady(kKelvo));
  auto waiting = std::async(std::launch::async, [&] { return ask(kKelvo, waitRequest(1, 60000), 20s); });
  std::this_thread::sleep_for(200ms);
  discovery->stop();
  driver->stopAll();
  ASSERT_EQ(waiting.wait_for(5s), std::future_status::ready);
  EXPECT_EQ(waiting.get(), Bytes{kStatusDeviceRemoved});
  EXPECT_THAT(readerList(), Not(HasSubstr("FRIENDLYNAME")));
  EXPECT_NE(::access(card(kKelvo).c_str(), F_OK), 0);
}

}  // namespace
}  // namespace kelvo::driver
