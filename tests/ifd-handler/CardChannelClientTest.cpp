// SPDX-License-Identifier: Apache-2.0
// The card channel client's deadlines and its cancel, with limits short enough to watch them: a driver that
// accepts nothing, one that never answers, one that answers too much, and a wait ended from another thread.

#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <chrono>
#include <cstring>
#include <future>
#include <string>
#include <vector>

#include "CardChannelClient.h"
#include "FakeCardChannel.h"
#include "TempDirectory.h"

namespace {

using kelvo::ifd::CardChannelClient;
using kelvo::ifd::CardChannelTimeouts;
using kelvo::test::FakeCardChannel;
using kelvo::test::TempDirectory;
using Clock = std::chrono::steady_clock;
using std::chrono::milliseconds;
using Outcome = CardChannelClient::Outcome;

constexpr CardChannelTimeouts kShort{milliseconds(200), milliseconds(400)};
constexpr milliseconds kSlack{400};

// A listening socket that never accepts: its backlog holds connections that no one serves.
class SilentListener {
 public:
  SilentListener(const std::string& path, int backlog) {
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    std::strncpy(address.sun_path, path.c_str(), sizeof(address.sun_path) - 1);
    fd = ::socket(AF_UNIX, SOCK_STREAM, 0);
    bound = ::bind(fd, reinterpret_cast<const sockaddr*>(&address), sizeof(address)) == 0 && ::listen(fd, backlog) == 0;
  }
  ~SilentListener() {
    for (const int queued : queuedClients) ::close(queued);
    ::close(fd);
  }
  SilentListener(const SilentListener&) = delete;
  SilentListener& operator=(const SilentListener&) = delete;

  // Connects until the backlog refuses more; true when it does.
  bool fillBacklog(const std::string& path) {
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    std::strncpy(address.sun_path, path.c_str(), sizeof(address.sun_path) - 1);
    for (int attempt = 0; attempt < 64; ++attempt) {
      const int client = ::socket(AF_UNIX, SOCK_STREAM | SOCK_NONBLOCK, 0);
      if (::connect(client, reinterpret_cast<const sockaddr*>(&address), sizeof(address)) != 0) {
        ::close(client);
        return errno == EAGAIN;
      }
      queuedClients.push_back(client);
    }
    return false;
  }

  int fd = -1;
  bool bound = false;
  std::vector<int> queuedClients;
};

template <typename Body>
milliseconds timed(Body body) {
  const auto start = Clock::now();
  body();
  return std::chrono::duration_cast<milliseconds>(Clock::now() - start);
}

class CardChannelClientTest : public ::testing::Test {
 protected:
  TempDirectory directory;
  std::string path = directory.file("kelvo-card_00a0b1c2d3e4");
};

TEST_F(CardChannelClientTest, ADriverThatAcceptsNothingFailsAfterTheConnectDeadline) {
  SilentListener listener(path, 0);
  ASSERT_TRUE(listener.bound);
  ASSERT_TRUE(listener.fillBacklog(path));
  CardChannelClient client(path, kShort);
  CardChannelClient::Answer answer;
  const auto elapsed = timed([&] { answer = client.request(0x40, {}); });
  EXPECT_EQ(answer.outcome, Outcome::Failed) << answer.failure;
  EXPECT_GE(elapsed, kShort.connect - milliseconds(20));
  EXPECT_LT(elapsed, kShort.connect + kSlack);
}

TEST_F(CardChannelClientTest, ADriverThatNeverAnswersFailsAfterTheRequestLimit) {
  SilentListener listener(path, 4);
  ASSERT_TRUE(listener.bound);
  CardChannelClient client(path, kShort);
  CardChannelClient::Answer answer;
  const auto elapsed = timed([&] { answer = client.request(0x43, {0x00, 0xA4, 0x04, 0x00}); });
  EXPECT_EQ(answer.outcome, Outcome::Failed);
  EXPECT_NE(answer.failure.find("timed out"), std::string::npos) << answer.failure;
  EXPECT_GE(elapsed, kShort.request - milliseconds(20));
  EXPECT_LT(elapsed, kShort.request + kSlack);
}

TEST_F(CardChannelClientTest, AnswersAreSplitIntoStatusAndPayload) {
  FakeCardChannel driver(path);
  ASSERT_TRUE(driver.start());
  std::vector<uint8_t> response(1024, 0x61);
  driver.setApduResponder([&](const std::vector<uint8_t>&) { return response; });
  CardChannelClient client(path, kShort);
  const std::vector<uint8_t> command(1024, 0x0C);
  const auto answer = client.request(0x43, command);
  ASSERT_EQ(answer.outcome, Outcome::Answered) << answer.failure;
  EXPECT_EQ(answer.status, 0);
  EXPECT_EQ(answer.payload, response);
  EXPECT_EQ(driver.requests().back().payload, command);
}

TEST_F(CardChannelClientTest, MessagesOverTheChannelsLimitAreRefused) {
  FakeCardChannel driver(path);
  ASSERT_TRUE(driver.start());
  CardChannelClient client(path, kShort);
  EXPECT_EQ(client.request(0x43, std::vector<uint8_t>(1025, 0)).outcome, Outcome::Failed);
  EXPECT_TRUE(driver.requests().empty());

  driver.setOverride([](const FakeCardChannel::Request&) -> std::optional<FakeCardChannel::Reply> {
    return FakeCardChannel::Reply{std::vector<uint8_t>(1026, 0)};
  });
  const auto answer = client.request(0x43, {0x00, 0xB0, 0x00, 0x00});
  EXPECT_EQ(answer.outcome, Outcome::Failed);
  EXPECT_NE(answer.failure.find("limit"), std::string::npos) << answer.failure;
}

TEST_F(CardChannelClientTest, CancelEndsTheRequestInProgressOrTheNextOne) {
  FakeCardChannel driver(path);
  ASSERT_TRUE(driver.start());
  CardChannelClient client(path, kShort);
  auto waiting = std::async(std::launch::async, [&] {
    return client.request(0x44, {1, 0x60, 0xEA, 0x00, 0x00}, milliseconds(60000));
  });
  ASSERT_TRUE(driver.awaitWaits(1));
  client.cancel();
  ASSERT_EQ(waiting.wait_for(kSlack), std::future_status::ready);
  EXPECT_EQ(waiting.get().outcome, Outcome::Cancelled);
  EXPECT_EQ(client.request(0x40, {}).outcome, Outcome::Answered) << "the cancel was used up";

  client.cancel();
  const size_t before = driver.requests().size();
  EXPECT_EQ(client.request(0x40, {}).outcome, Outcome::Cancelled);
  EXPECT_EQ(driver.requests().size(), before);
  EXPECT_EQ(client.request(0x40, {}).outcome, Outcome::Answered);
}

}  // namespace
