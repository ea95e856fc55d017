// SPDX-License-Identifier: Apache-2.0
// Who a reader's socket serves, asked by clients that run as other users: root, a member of the driver's group,
// a user at a seat; anybody else is refused before a byte of theirs is read, and nothing of their request reaches
// the reader. And one user's flood of connections leaves room for root and for the other users.
//
// The driver's group is played by a group the machine already has (see TestUsers), and the seat by the test.

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <algorithm>
#include <iterator>
#include <mutex>
#include <set>
#include <sstream>

#include "DriverStatus.h"
#include "FixedSeatSessions.h"
#include "LogCapture.h"
#include "LoginSeatSessions.h"
#include "PeerPolicy.h"
#include "PeerProcess.h"
#include "RawClient.h"
#include "ReaderSocket.h"
#include "TempDirectory.h"
#include "TestUsers.h"

namespace kelvo::driver {
namespace {

using test::PeerProcess;
using test::RawClient;
using test::TestUsers;
using namespace std::chrono_literals;

// Answers status 0 followed by the request, and remembers every request it was handed.
class RecordingReader {
 public:
  std::vector<uint8_t> operator()(const std::vector<uint8_t>& request) {
    std::lock_guard<std::mutex> guard(lock);
    seen.push_back(request);
    std::vector<uint8_t> answer(request.size() + 1, kStatusSuccess);
    std::copy(request.begin(), request.end(), answer.begin() + 1);
    return answer;
  }
  bool saw(const std::vector<uint8_t>& request) {
    std::lock_guard<std::mutex> guard(lock);
    return std::find(seen.begin(), seen.end(), request) != seen.end();
  }
  size_t count() {
    std::lock_guard<std::mutex> guard(lock);
    return seen.size();
  }

 private:
  std::mutex lock;
  std::vector<std::vector<uint8_t>> seen;
};

std::string hexOf(const std::vector<uint8_t>& bytes) {
  std::ostringstream text;
  for (uint8_t byte : bytes) text << std::hex << (byte >> 4) << (byte & 0xF);
  return text.str();
}

std::vector<uint8_t> servedAnswerOf(const std::vector<uint8_t>& request) {
  std::vector<uint8_t> answer(request.size() + 1, kStatusSuccess);
  std::copy(request.begin(), request.end(), answer.begin() + 1);
  return answer;
}

size_t wordsIn(const std::string& text, const std::string& word) {
  std::istringstream words(text);
  return static_cast<size_t>(
      std::count(std::istream_iterator<std::string>(words), std::istream_iterator<std::string>(), word));
}

class PeerAccessTest : public ::testing::Test {
 protected:
  void SetUp() override {
    if (::geteuid() != 0) GTEST_SKIP() << "acting as other users takes root";
    member = TestUsers::memberOfItsOwnGroup();
    if (!member) GTEST_SKIP() << "no user with a group of its own to stand in for a member of the driver's group";
    seated = TestUsers::unknownUid(42000);
    secondSeated = TestUsers::unknownUid(seated + 1);
    stranger = TestUsers::unknownUid(secondSeated + 1);
    // Other users must be able to reach the socket; the check, not the path, decides.
    ASSERT_EQ(::chmod(directory.path().c_str(), 0755), 0);
    limits.ioTimeout = 20s;  // a flood's silent connections stay for the whole test
    auto seats = std::make_shared<test::FixedSeatSessions>(std::set<uid_t>{seated, secondSeated});
    socket = std::make_unique<ReaderSocket>(
        path, [reader = reader](const std::vector<uint8_t>& request) { return (*reader)(request); },
        std::make_shared<PeerPolicy>(seats, member->groupName), limits);
    ASSERT_TRUE(socket->start());
  }

  void TearDown() override {
    if (socket) socket->stop();
  }

  test::TempDirectory directory;
  const std::string path = directory.file("omnivex#ipc#ver6#kelvo_001a7dda7113");
  std::optional<TestUsers::Member> member;
  uid_t seated = 0;
  uid_t secondSeated = 0;
  uid_t stranger = 0;
  ReaderSocketLimits limits;
  std::shared_ptr<RecordingReader> reader = std::make_shared<RecordingReader>();
  std::unique_ptr<ReaderSocket> socket;
};

TEST_F(PeerAccessTest, RootGroupMembersAndSeatedUsersAreServedAndEveryoneElseIsRefusedUnheard) {
  test::LogCapture log;
  struct Case {
    std::string who;
    uid_t uid;
    gid_t gid;
    bool served;
  };
  const std::vector<Case> cases = {
      {"a member of the group in the user database, running with another gid", member->uid, TestUsers::kNoGroup, true},
      {"a user whose process runs with the group's gid", TestUsers::kNobody, member->group, true},
      {"a uid at a seat", seated, seated, true},
      {"nobody: no member, no seat", TestUsers::kNobody, TestUsers::kNoGroup, false},
      {"a uid without a user entry and no seat", stranger, stranger, false},
  };
  uint8_t mark = 0x40;
  for (const Case& each : cases) {
    // A state request in production; each case's own bytes show whose request reached the reader.
    const std::vector<uint8_t> request{5, ++mark, 0x33};
    const std::string answer = test::PeerProcess::exchange(each.uid, each.gid, path, request);
    if (each.served) {
      EXPECT_EQ(answer, hexOf(servedAnswerOf(request))) << each.who;
      EXPECT_TRUE(reader->saw(request)) << each.who;
    } else {
      EXPECT_EQ(answer, hexOf({kStatusAccessRefused})) << each.who;
      EXPECT_FALSE(reader->saw(request)) << each.who << ": a refused request reached the reader";
      EXPECT_EQ(log.count("refused uid " + std::to_string(each.uid) + " "), 1u) << each.who;
    }
  }
  const std::vector<uint8_t> asRoot{5, 0x7F};
  EXPECT_EQ(RawClient::exchange(path, asRoot), servedAnswerOf(asRoot));
  EXPECT_EQ(reader->count(), 4u);
}

TEST_F(PeerAccessTest, OneUserFloodingTheSocketLeavesRoomForRootAndForOtherUsers) {
  test::LogCapture log;
  constexpr int kFlood = 40;
  PeerProcess flood = PeerProcess::hold(seated, seated, path, kFlood);
  const std::string report = flood.readLine();
  EXPECT_EQ(wordsIn(report, "held"), limits.perUid) << report;
  EXPECT_EQ(wordsIn(report, std::to_string(kStatusBusy)), kFlood - limits.perUid) << report;
  EXPECT_EQ(log.count("uid " + std::to_string(seated) + " holds "), 1u) << "one line for the flood, not one each";

  // The flood's connections are still open and silent; the others are served at once.
  const auto start = std::chrono::steady_clock::now();
  EXPECT_EQ(RawClient::exchange(path, {2, 1}), servedAnswerOf({2, 1}));
  EXPECT_EQ(PeerProcess::exchange(secondSeated, secondSeated, path, {2, 2}), hexOf(servedAnswerOf({2, 2})));
  EXPECT_LT(std::chrono::steady_clock::now() - start, limits.ioTimeout / 4);
  // The two served clients have hung up; the server may take a moment to notice on a loaded machine.
  for (int i = 0; i < 200 && socket->activeConnections() > limits.perUid; ++i) std::this_thread::sleep_for(5ms);
  EXPECT_EQ(socket->activeConnections(), limits.perUid);

  flood.finish();
  for (int i = 0; i < 1000 && socket->activeConnections() > 0; ++i) std::this_thread::sleep_for(5ms);
  EXPECT_EQ(PeerProcess::exchange(seated, seated, path, {2, 3}), hexOf(servedAnswerOf({2, 3})))
      << "the flooding user is served again once its connections are gone";
}

TEST(LoginSeatSessionsTest, AUidWithoutAnyLoginSessionSitsAtNoSeat) {
  LoginSeatSessions seats;
  EXPECT_FALSE(seats.hasActiveLocalSession(TestUsers::unknownUid(42000)));
  EXPECT_FALSE(seats.hasActiveLocalSession(TestUsers::kNobody));
}

}  // namespace
}  // namespace kelvo::driver
