// SPDX-License-Identifier: Apache-2.0
// The handler loaded as pcscd loads it, against a fake card socket: what each entry point asks the driver, and
// what pcscd hears back when the driver answers, fails, disappears or never answers.

#include <gtest/gtest.h>

#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstring>
#include <future>
#include <string>
#include <thread>
#include <vector>

#include "FakeCardChannel.h"
#include "IfdModule.h"
#include "TempDirectory.h"

namespace {

using kelvo::test::FakeCardChannel;
using kelvo::test::IfdModule;
using kelvo::test::TempDirectory;
using Bytes = std::vector<uint8_t>;
using Clock = std::chrono::steady_clock;
using std::chrono::milliseconds;

// A call that answers "at once" does so well within this, even on a loaded machine with a sanitizer.
constexpr milliseconds kPrompt{500};

constexpr DWORD kLun = 0x20000;  // pcscd numbers the readers in the high half and the slot in the low
const Bytes kAtr{0x3B, 0x80, 0x80, 0x01, 0x01};

FakeCardChannel::Override statusFor(uint8_t code, uint8_t status) {
  return [code, status](const FakeCardChannel::Request& request) -> std::optional<FakeCardChannel::Reply> {
    if (request.code != code) return std::nullopt;
    return FakeCardChannel::Reply{{status}};
  };
}

FakeCardChannel::Override hangUpOn(uint8_t code) {
  return [code](const FakeCardChannel::Request& request) -> std::optional<FakeCardChannel::Reply> {
    if (request.code != code) return std::nullopt;
    return FakeCardChannel::Reply{{}, true};
  };
}

Bytes pattern(size_t size, uint8_t seed) {
  Bytes bytes(size);
  for (size_t i = 0; i < size; ++i) bytes[i] = static_cast<uint8_t>(seed + i * 7);
  return bytes;
}

class IfdHandlerTest : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_TRUE(card.start()); }
  void TearDown() override { ifd.closeChannel(kLun); }

  RESPONSECODE open(DWORD lun = kLun) { return ifd.createChannelByName(lun, socketPath.data()); }
  void openOrFail() { ASSERT_EQ(open(), IFD_SUCCESS); }

  RESPONSECODE power(DWORD action, Bytes& atr, DWORD room = MAX_ATR_SIZE) {
    atr.assign(room, 0);
    DWORD length = room;
    const RESPONSECODE code = ifd.powerIcc(kLun, action, atr.data(), &length);
    atr.resize(length);
    return code;
  }

  RESPONSECODE transmit(Bytes command, Bytes& response, DWORD room = 65548, DWORD lun = kLun) {
    response.assign(room, 0);
    DWORD length = room;
    SCARD_IO_HEADER sendPci{SCARD_PROTOCOL_T1, 0};
    SCARD_IO_HEADER receivePci{0, 0};
    const RESPONSECODE code = ifd.transmitToIcc(lun, sendPci, command.data(), static_cast<DWORD>(command.size()),
                                                response.data(), &length, &receivePci);
    response.resize(length);
    return code;
  }

  Bytes capability(DWORD tag, RESPONSECODE expected = IFD_SUCCESS) {
    Bytes value(64, 0xEE);
    DWORD length = static_cast<DWORD>(value.size());
    EXPECT_EQ(ifd.getCapabilities(kLun, tag, &length, value.data()), expected) << "tag " << std::hex << tag;
    value.resize(expected == IFD_SUCCESS ? length : 0);
    return value;
  }

  IfdModule::Poll pollFunction() {
    return ifd.capabilityFunction<IfdModule::Poll>(kLun, TAG_IFD_POLLING_THREAD_WITH_TIMEOUT);
  }
  IfdModule::StopPoll stopFunction() {
    return ifd.capabilityFunction<IfdModule::StopPoll>(kLun, TAG_IFD_STOP_POLLING_THREAD);
  }

  // A poll on its own thread, as pcscd's polling thread runs it.
  std::future<RESPONSECODE> pollInBackground(int timeoutMs) {
    const auto poll = pollFunction();
    return std::async(std::launch::async, [poll, timeoutMs] { return poll(kLun, timeoutMs); });
  }

  const IfdModule& ifd = IfdModule::instance();
  TempDirectory directory;
  std::string socketPath = directory.file("kelvo-card_00a0b1c2d3e4");
  FakeCardChannel card{socketPath};
};

template <typename Body>
milliseconds timed(Body body) {
  const auto start = Clock::now();
  body();
  return std::chrono::duration_cast<milliseconds>(Clock::now() - start);
}

// --- Opening a channel -------------------------------------------------------------------------------------------

struct OpenCase {
  const char* name;
  FakeCardChannel::Override driver;
  bool driverGone;
  RESPONSECODE expected;
};

TEST_F(IfdHandlerTest, OpensAChannelOnlyWhenTheCardStatusIsAnswered) {
  const OpenCase cases[] = {
      {"answered", nullptr, false, IFD_SUCCESS},
      {"access refused", statusFor(0x40, 250), false, IFD_COMMUNICATION_ERROR},
      {"hung up without an answer", hangUpOn(0x40), false, IFD_COMMUNICATION_ERROR},
      {"no socket at the path", nullptr, true, IFD_NO_SUCH_DEVICE},
  };
  for (const auto& test : cases) {
    SCOPED_TRACE(test.name);
    FakeCardChannel driver(directory.file(std::string("card-") + test.name));
    if (!test.driverGone) {
      ASSERT_TRUE(driver.start());
    }
    driver.setOverride(test.driver);
    std::string path = driver.path();
    EXPECT_EQ(ifd.createChannelByName(kLun, path.data()), test.expected);
    // A failed open leaves no channel behind on the Lun.
    EXPECT_EQ(ifd.iccPresence(kLun), test.expected == IFD_SUCCESS ? IFD_ICC_PRESENT : IFD_COMMUNICATION_ERROR);
    ifd.closeChannel(kLun);
  }
}

TEST_F(IfdHandlerTest, ASocketNobodyListensOnIsNoDevice) {
  // A driver that died leaves its socket file behind: connecting is refused.
  const std::string stale = directory.file("stale");
  sockaddr_un address{};
  address.sun_family = AF_UNIX;
  std::strncpy(address.sun_path, stale.c_str(), sizeof(address.sun_path) - 1);
  const int fd = ::socket(AF_UNIX, SOCK_STREAM, 0);
  ASSERT_EQ(::bind(fd, reinterpret_cast<const sockaddr*>(&address), sizeof(address)), 0);
  std::string path = stale;
  EXPECT_EQ(ifd.createChannelByName(kLun, path.data()), IFD_NO_SUCH_DEVICE);
  ::close(fd);
}

TEST_F(IfdHandlerTest, OnlyChannelsByNameAndOneChannelPerLun) {
  EXPECT_EQ(ifd.createChannel(kLun, 0x3F8), IFD_NOT_SUPPORTED);
  openOrFail();
  EXPECT_NE(open(), IFD_SUCCESS);
  EXPECT_EQ(ifd.closeChannel(kLun), IFD_SUCCESS);
  EXPECT_EQ(open(), IFD_SUCCESS);
}

TEST_F(IfdHandlerTest, ALunWithoutAChannelIsAnErrorNotACrash) {
  Bytes response;
  EXPECT_EQ(ifd.iccPresence(0x70000), IFD_COMMUNICATION_ERROR);
  EXPECT_EQ(transmit({0x00, 0xA4, 0x04, 0x00}, response, 258, 0x70000), IFD_COMMUNICATION_ERROR);
  EXPECT_TRUE(response.empty());
  DWORD length = MAX_ATR_SIZE;
  UCHAR atr[MAX_ATR_SIZE];
  EXPECT_EQ(ifd.powerIcc(0x70000, IFD_POWER_UP, atr, &length), IFD_COMMUNICATION_ERROR);
}

// --- Presence ----------------------------------------------------------------------------------------------------

struct PresenceCase {
  const char* name;
  bool cardPresent;
  FakeCardChannel::Override driver;
  RESPONSECODE expected;
  uint8_t presenceAttribute;
};

TEST_F(IfdHandlerTest, PresenceFollowsTheCardStatus) {
  openOrFail();
  const PresenceCase cases[] = {
      {"card in", true, nullptr, IFD_ICC_PRESENT, 2},
      {"card out", false, nullptr, IFD_ICC_NOT_PRESENT, 0},
      {"reader lost", true, statusFor(0x40, 253), IFD_NO_SUCH_DEVICE, 0},
      {"access refused", true, statusFor(0x40, 250), IFD_COMMUNICATION_ERROR, 0},
      {"hung up", true, hangUpOn(0x40), IFD_COMMUNICATION_ERROR, 0},
  };
  for (const auto& test : cases) {
    SCOPED_TRACE(test.name);
    card.setCardPresent(test.cardPresent);
    card.setOverride(test.driver);
    EXPECT_EQ(ifd.iccPresence(kLun), test.expected);
    const bool answered = test.expected == IFD_ICC_PRESENT || test.expected == IFD_ICC_NOT_PRESENT;
    const Bytes attribute = capability(SCARD_ATTR_ICC_PRESENCE, answered ? IFD_SUCCESS : test.expected);
    if (answered) {
      EXPECT_EQ(attribute, Bytes{test.presenceAttribute});
    }
  }
}

TEST_F(IfdHandlerTest, ADriverThatIsGoneIsNoDeviceAtOnce) {
  openOrFail();
  card.stop();
  Bytes atr;
  Bytes response;
  const auto elapsed = timed([&] {
    EXPECT_EQ(ifd.iccPresence(kLun), IFD_NO_SUCH_DEVICE);
    EXPECT_EQ(power(IFD_POWER_UP, atr), IFD_NO_SUCH_DEVICE);
    EXPECT_EQ(transmit({0x00, 0xB0, 0x00, 0x00, 0x10}, response), IFD_NO_SUCH_DEVICE);
  });
  EXPECT_LT(elapsed, kPrompt);
  EXPECT_TRUE(atr.empty());
  EXPECT_TRUE(response.empty());
}

// --- Power -------------------------------------------------------------------------------------------------------

TEST_F(IfdHandlerTest, PowerUpGivesTheAtrAndKeepsItUntilPowerDown) {
  card.setAtr(kAtr);
  openOrFail();
  Bytes atr;
  ASSERT_EQ(power(IFD_POWER_UP, atr), IFD_SUCCESS);
  EXPECT_EQ(atr, kAtr);
  EXPECT_EQ(capability(TAG_IFD_ATR), kAtr);
  EXPECT_EQ(capability(SCARD_ATTR_ATR_STRING), kAtr);

  ASSERT_EQ(power(IFD_POWER_DOWN, atr), IFD_SUCCESS);
  EXPECT_TRUE(atr.empty());
  EXPECT_TRUE(capability(TAG_IFD_ATR).empty());
  EXPECT_EQ(card.requestCodes(), (Bytes{0x40, 0x41, 0x42}));
}

TEST_F(IfdHandlerTest, AnAtrLongerThanTheCallersBufferIsRefused) {
  card.setAtr(kAtr);
  openOrFail();
  Bytes atr;
  EXPECT_EQ(power(IFD_POWER_UP, atr, static_cast<DWORD>(kAtr.size() - 1)), IFD_ERROR_INSUFFICIENT_BUFFER);
  EXPECT_TRUE(atr.empty());
  EXPECT_EQ(power(IFD_POWER_UP, atr, static_cast<DWORD>(kAtr.size())), IFD_SUCCESS);
  EXPECT_EQ(atr, kAtr);
}

TEST_F(IfdHandlerTest, AResetPowersTheCardDownAndUpAgain) {
  card.setAtr(kAtr);
  openOrFail();
  Bytes atr;
  ASSERT_EQ(power(IFD_POWER_UP, atr), IFD_SUCCESS);
  ASSERT_EQ(power(IFD_RESET, atr), IFD_SUCCESS);
  EXPECT_EQ(atr, kAtr);
  // The power down is what makes the card forget a verified PIN or a selected application.
  EXPECT_EQ(card.requestCodes(), (Bytes{0x40, 0x41, 0x42, 0x41}));

  card.setOverride(statusFor(0x42, 253));
  EXPECT_EQ(power(IFD_RESET, atr), IFD_COMMUNICATION_ERROR);
  EXPECT_TRUE(atr.empty());
  EXPECT_EQ(card.requestCodes().back(), 0x42) << "no power up after a failed power down";
}

struct PowerFailureCase {
  const char* name;
  bool cardPresent;
  FakeCardChannel::Override driver;
  RESPONSECODE expected;
};

TEST_F(IfdHandlerTest, PowerUpFailuresMapToIfdCodes) {
  openOrFail();
  const PowerFailureCase cases[] = {
      {"no card", false, nullptr, IFD_ERROR_POWER_ACTION},
      {"card silent", true, statusFor(0x41, 11), IFD_ERROR_POWER_ACTION},
      {"reader timed out", true, statusFor(0x41, 252), IFD_RESPONSE_TIMEOUT},
      {"reader busy", true, statusFor(0x41, 251), IFD_COMMUNICATION_ERROR},
      {"reader lost", true, statusFor(0x41, 253), IFD_COMMUNICATION_ERROR},
      {"hung up", true, hangUpOn(0x41), IFD_COMMUNICATION_ERROR},
      {"empty ATR", true,
       [](const FakeCardChannel::Request& request) -> std::optional<FakeCardChannel::Reply> {
         if (request.code != 0x41) return std::nullopt;
         return FakeCardChannel::Reply{{0}};
       },
       IFD_ERROR_POWER_ACTION},
  };
  for (const auto& test : cases) {
    SCOPED_TRACE(test.name);
    card.setCardPresent(test.cardPresent);
    card.setOverride(test.driver);
    Bytes atr;
    EXPECT_EQ(power(IFD_POWER_UP, atr), test.expected);
    EXPECT_TRUE(atr.empty());
  }
}

// --- Transmit ----------------------------------------------------------------------------------------------------

struct ExchangeCase {
  const char* name;
  size_t commandSize;
  size_t responseSize;
};

TEST_F(IfdHandlerTest, ApdusReachTheCardAndResponsesComeBackWhole) {
  openOrFail();
  const ExchangeCase cases[] = {
      {"smallest", 4, 2},
      {"short", 5, 258},
      {"extended both ways", 1024, 1024},
  };
  for (const auto& test : cases) {
    SCOPED_TRACE(test.name);
    const Bytes command = pattern(test.commandSize, 0x11);
    Bytes expected = pattern(test.responseSize, 0x5A);
    card.setApduResponder([&](const Bytes&) { return expected; });
    Bytes response;
    ASSERT_EQ(transmit(command, response), IFD_SUCCESS);
    EXPECT_EQ(response, expected);
    EXPECT_EQ(card.requests().back().payload, command);
    // A buffer of exactly the response's size is enough.
    ASSERT_EQ(transmit(command, response, static_cast<DWORD>(test.responseSize)), IFD_SUCCESS);
    EXPECT_EQ(response, expected);
  }
}

TEST_F(IfdHandlerTest, AResponseLargerThanTheReceiveBufferIsRefused) {
  openOrFail();
  Bytes answer = pattern(300, 0x01);
  card.setApduResponder([&](const Bytes&) { return answer; });
  Bytes response;
  EXPECT_EQ(transmit(pattern(5, 0), response, 299), IFD_ERROR_INSUFFICIENT_BUFFER);
  EXPECT_TRUE(response.empty());
}

struct RefusedCase {
  const char* name;
  size_t commandSize;
  DWORD receiveRoom;
  RESPONSECODE expected;
};

TEST_F(IfdHandlerTest, ApdusTheChannelCannotCarryAreRefusedBeforeSending) {
  openOrFail();
  const RefusedCase cases[] = {
      {"over 1024 bytes", 1025, 65548, IFD_COMMUNICATION_ERROR},
      {"far over", 4096, 65548, IFD_COMMUNICATION_ERROR},
      {"under 4 bytes", 3, 258, IFD_COMMUNICATION_ERROR},
      {"no room for a status word", 5, 1, IFD_ERROR_INSUFFICIENT_BUFFER},
  };
  for (const auto& test : cases) {
    SCOPED_TRACE(test.name);
    const size_t before = card.requests().size();
    Bytes response;
    ::testing::internal::CaptureStderr();
    EXPECT_EQ(transmit(pattern(test.commandSize, 0xC3), response, test.receiveRoom), test.expected);
    const std::string log = ::testing::internal::GetCapturedStderr();
    EXPECT_TRUE(response.empty());
    EXPECT_EQ(card.requests().size(), before) << "nothing may reach the driver";
    EXPECT_EQ(log.rfind("kelvo-ifd: ", 0), 0u) << log;
    EXPECT_EQ(std::count(log.begin(), log.end(), '\n'), 1) << log;
  }
}

struct TransmitFailureCase {
  const char* name;
  bool cardPresent;
  FakeCardChannel::Override driver;
  RESPONSECODE expected;
};

TEST_F(IfdHandlerTest, TransmitFailuresMapToIfdCodesAtOnceAndLogNoApduBytes) {
  openOrFail();
  const TransmitFailureCase cases[] = {
      {"no card", false, nullptr, IFD_ICC_NOT_PRESENT},
      {"card silent", true, statusFor(0x43, 11), IFD_RESPONSE_TIMEOUT},
      {"reader timed out", true, statusFor(0x43, 252), IFD_RESPONSE_TIMEOUT},
      {"reader busy", true, statusFor(0x43, 251), IFD_COMMUNICATION_ERROR},
      {"reader lost", true, statusFor(0x43, 253), IFD_COMMUNICATION_ERROR},
      {"response over the limit", true, statusFor(0x43, 6), IFD_COMMUNICATION_ERROR},
      {"driver died mid-request", true, hangUpOn(0x43), IFD_COMMUNICATION_ERROR},
  };
  // A VERIFY with a PIN in it: what a log line must never show.
  const Bytes verify{0x00, 0x20, 0x00, 0x80, 0x08, 0x31, 0x32, 0x33, 0x34, 0x35, 0x36, 0xFF, 0xFF};
  for (const auto& test : cases) {
    SCOPED_TRACE(test.name);
    card.setCardPresent(test.cardPresent);
    card.setOverride(test.driver);
    Bytes response;
    ::testing::internal::CaptureStderr();
    const auto elapsed = timed([&] { EXPECT_EQ(transmit(verify, response), test.expected); });
    const std::string log = ::testing::internal::GetCapturedStderr();
    EXPECT_LT(elapsed, kPrompt);
    EXPECT_TRUE(response.empty());
    EXPECT_EQ(std::count(log.begin(), log.end(), '\n'), 1) << log;
    for (const char* leak : {"313233", "31 32 33", "123456", "0020"})
      EXPECT_EQ(log.find(leak), std::string::npos) << log;
  }
}

// --- Protocols ---------------------------------------------------------------------------------------------------

struct ProtocolCase {
  const char* name;
  Bytes atr;
  bool t0;
  bool t1;
};

TEST_F(IfdHandlerTest, ProtocolsAreTheOnesTheAtrOffers) {
  openOrFail();
  const ProtocolCase cases[] = {
      {"no TD1: T=0", {0x3B, 0x02, 0x14, 0x50}, true, false},
      {"TD1 names T=1", {0x3B, 0x80, 0x01, 0x81}, false, true},
      {"TD1 T=0, TD2 T=1", {0x3B, 0x80, 0x80, 0x01, 0x01}, true, true},
      {"TA1 before TD1, TA3 TB3 after TD2", {0x3B, 0x90, 0x95, 0x81, 0x31, 0xFE, 0x45, 0x1F}, false, true},
      {"T=15 global bytes only besides T=1", {0x3B, 0x80, 0x81, 0x1F, 0x07, 0x19}, false, true},
  };
  for (const auto& test : cases) {
    SCOPED_TRACE(test.name);
    card.setAtr(test.atr);
    Bytes atr;
    ASSERT_EQ(power(IFD_POWER_UP, atr), IFD_SUCCESS);
    EXPECT_EQ(ifd.setProtocolParameters(kLun, SCARD_PROTOCOL_T0, 0, 0, 0, 0),
              test.t0 ? IFD_SUCCESS : IFD_PROTOCOL_NOT_SUPPORTED);
    EXPECT_EQ(ifd.setProtocolParameters(kLun, SCARD_PROTOCOL_T1, 0, 0, 0, 0),
              test.t1 ? IFD_SUCCESS : IFD_PROTOCOL_NOT_SUPPORTED);
    EXPECT_EQ(ifd.setProtocolParameters(kLun, SCARD_PROTOCOL_RAW, 0, 0, 0, 0), IFD_PROTOCOL_NOT_SUPPORTED);
  }
}

// --- Capabilities ------------------------------------------------------------------------------------------------

TEST_F(IfdHandlerTest, CapabilitiesTellPcscdHowToDriveTheHandler) {
  openOrFail();
  const struct {
    DWORD tag;
    Bytes value;
  } bytes[] = {
      {TAG_IFD_SLOTS_NUMBER, {1}},
      {TAG_IFD_THREAD_SAFE, {1}},
      {TAG_IFD_SLOT_THREAD_SAFE, {0}},
      {TAG_IFD_POLLING_THREAD_KILLABLE, {0}},
  };
  for (const auto& expected : bytes) EXPECT_EQ(capability(expected.tag), expected.value) << expected.tag;
  const Bytes simultaneous = capability(TAG_IFD_SIMULTANEOUS_ACCESS);
  ASSERT_EQ(simultaneous.size(), 1u);
  EXPECT_GE(simultaneous[0], 16) << "at least as many readers as pcscd itself can hold";
  EXPECT_NE(pollFunction(), nullptr);
  EXPECT_NE(stopFunction(), nullptr);
  capability(0x0FFF, IFD_ERROR_TAG);
  UCHAR value = 1;
  EXPECT_EQ(ifd.setCapabilities(kLun, TAG_IFD_SLOTNUM, 1, &value), IFD_NOT_SUPPORTED);

  DWORD returned = 99;
  UCHAR features[64];
  EXPECT_EQ(ifd.control(kLun, CM_IOCTL_GET_FEATURE_REQUEST, nullptr, 0, features, sizeof(features), &returned),
            IFD_SUCCESS);
  EXPECT_EQ(returned, 0u) << "no reader features";
  EXPECT_EQ(ifd.control(kLun, SCARD_CTL_CODE(1), nullptr, 0, features, sizeof(features), &returned),
            IFD_ERROR_NOT_SUPPORTED);
}

// --- The polling thread ------------------------------------------------------------------------------------------

uint32_t waitedMs(const FakeCardChannel::Request& wait) {
  return static_cast<uint32_t>(wait.payload[1]) | static_cast<uint32_t>(wait.payload[2]) << 8 |
         static_cast<uint32_t>(wait.payload[3]) << 16 | static_cast<uint32_t>(wait.payload[4]) << 24;
}

TEST_F(IfdHandlerTest, APollReturnsWhenTheCardComesOrGoes) {
  card.setCardPresent(false);
  openOrFail();
  ASSERT_EQ(ifd.iccPresence(kLun), IFD_ICC_NOT_PRESENT);
  for (const bool insert : {true, false}) {
    SCOPED_TRACE(insert ? "insertion" : "removal");
    auto poll = pollInBackground(60000);
    ASSERT_TRUE(card.awaitWaits(1));
    const auto wait = card.requests().back();
    ASSERT_EQ(wait.code, 0x44);
    ASSERT_EQ(wait.payload.size(), 5u);
    EXPECT_EQ(wait.payload[0], insert ? 0 : 1) << "the presence last reported";
    EXPECT_EQ(waitedMs(wait), 60000u);
    card.setCardPresent(insert);
    ASSERT_EQ(poll.wait_for(kPrompt), std::future_status::ready);
    EXPECT_EQ(poll.get(), IFD_SUCCESS);
    // pcscd asks for the presence after every poll; that is what the next wait starts from.
    EXPECT_EQ(ifd.iccPresence(kLun), insert ? IFD_ICC_PRESENT : IFD_ICC_NOT_PRESENT);
  }
}

TEST_F(IfdHandlerTest, APollEndsWithTheWaitWhenNothingChanges) {
  openOrFail();
  ASSERT_EQ(ifd.iccPresence(kLun), IFD_ICC_PRESENT);
  const auto poll = pollFunction();
  RESPONSECODE code = 0;
  const auto elapsed = timed([&] { code = poll(kLun, 200); });
  EXPECT_EQ(code, IFD_SUCCESS);
  EXPECT_GE(elapsed, milliseconds(150));
  EXPECT_LT(elapsed, milliseconds(200) + kPrompt);
}

TEST_F(IfdHandlerTest, APollAsksForAtMostTheLongestWaitTheDriverServes) {
  openOrFail();
  card.setOverride([](const FakeCardChannel::Request& request) -> std::optional<FakeCardChannel::Reply> {
    if (request.code != 0x44) return std::nullopt;
    return FakeCardChannel::Reply{{0, 1}};
  });
  const auto poll = pollFunction();
  const struct {
    int asked;
    uint32_t sent;
  } cases[] = {{1500, 1500}, {600000, 600000}, {3600000, 600000}, {0, 600000}, {-1, 600000}};
  for (const auto& test : cases) {
    EXPECT_EQ(poll(kLun, test.asked), IFD_SUCCESS);
    EXPECT_EQ(waitedMs(card.requests().back()), test.sent) << test.asked;
  }
}

// pcscd stops a wait when the last client disconnects, to wait again with another time-out, and before it
// removes the reader; either may come just before its polling thread starts to wait.
TEST_F(IfdHandlerTest, StopEndsTheWaitInProgressOrTheNextOne) {
  openOrFail();
  const auto stop = stopFunction();
  auto poll = pollInBackground(600000);
  ASSERT_TRUE(card.awaitWaits(1));
  EXPECT_EQ(stop(kLun), IFD_SUCCESS);
  ASSERT_EQ(poll.wait_for(kPrompt), std::future_status::ready);
  EXPECT_EQ(poll.get(), IFD_SUCCESS);
  // The driver sees the hang-up and lets the wait go.
  const auto deadline = Clock::now() + kPrompt;
  while (card.waitsEndedByClient() == 0 && Clock::now() < deadline) std::this_thread::sleep_for(milliseconds(5));
  EXPECT_EQ(card.waitsEndedByClient(), 1);

  // The stop is used up: the next poll waits again.
  poll = pollInBackground(600000);
  ASSERT_TRUE(card.awaitWaits(1));
  EXPECT_EQ(poll.wait_for(milliseconds(200)), std::future_status::timeout);
  card.setCardPresent(false);
  ASSERT_EQ(poll.wait_for(kPrompt), std::future_status::ready);

  // A stop between two waits ends the next one before it reaches the driver, and only that one.
  ASSERT_EQ(ifd.iccPresence(kLun), IFD_ICC_NOT_PRESENT);
  EXPECT_EQ(stop(kLun), IFD_SUCCESS);
  const size_t before = card.requests().size();
  EXPECT_LT(timed([&] { EXPECT_EQ(pollFunction()(kLun, 600000), IFD_SUCCESS); }), kPrompt);
  EXPECT_EQ(card.requests().size(), before);
  poll = pollInBackground(600000);
  ASSERT_TRUE(card.awaitWaits(1));
  stop(kLun);
  EXPECT_EQ(poll.wait_for(kPrompt), std::future_status::ready);
}

TEST_F(IfdHandlerTest, ClosingTheChannelEndsAWait) {
  openOrFail();
  auto poll = pollInBackground(600000);
  ASSERT_TRUE(card.awaitWaits(1));
  EXPECT_EQ(ifd.closeChannel(kLun), IFD_SUCCESS);
  EXPECT_EQ(poll.wait_for(kPrompt), std::future_status::ready);
}

TEST_F(IfdHandlerTest, APollThatCannotReachTheDriverPausesInsteadOfSpinning) {
  openOrFail();
  card.stop();
  const auto poll = pollFunction();
  RESPONSECODE code = 0;
  const auto elapsed = timed([&] { code = poll(kLun, 60000); });
  EXPECT_EQ(code, IFD_NO_SUCH_DEVICE);
  EXPECT_GE(elapsed, milliseconds(900));
  EXPECT_LT(elapsed, milliseconds(1000) + kPrompt);

  // The pause is the stop's to cut short.
  auto paused = pollInBackground(60000);
  std::this_thread::sleep_for(milliseconds(200));
  stopFunction()(kLun);
  EXPECT_EQ(paused.wait_for(kPrompt), std::future_status::ready);
}

TEST_F(IfdHandlerTest, AWaitHoldsUpNoOtherRequest) {
  FakeCardChannel other(directory.file("kelvo-card_00a0b1c2d3e5"));
  ASSERT_TRUE(other.start());
  std::string otherPath = other.path();
  constexpr DWORD kOtherLun = 0x30000;
  openOrFail();
  ASSERT_EQ(ifd.createChannelByName(kOtherLun, otherPath.data()), IFD_SUCCESS);
  auto poll = pollInBackground(600000);
  ASSERT_TRUE(card.awaitWaits(1));
  Bytes response;
  EXPECT_LT(timed([&] {
              EXPECT_EQ(transmit({0x00, 0xCA, 0x01, 0x00}, response), IFD_SUCCESS);
              EXPECT_EQ(transmit({0x00, 0xCA, 0x01, 0x00}, response, 258, kOtherLun), IFD_SUCCESS);
              EXPECT_EQ(ifd.iccPresence(kOtherLun), IFD_ICC_PRESENT);
            }),
            kPrompt);
  ifd.closeChannel(kOtherLun);
  stopFunction()(kLun);
  EXPECT_EQ(poll.wait_for(kPrompt), std::future_status::ready);
}

}  // namespace
