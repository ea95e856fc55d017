// The socket server of one reader, with a handler that stands in for the reader: what reaches it, what the
// client gets back, and that clients which misbehave never hold up the others.

#include "ReaderSocket.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <atomic>
#include <condition_variable>
#include <mutex>
#include <random>
#include <thread>

#include "DriverStatus.h"
#include "RawClient.h"
#include "TempDirectory.h"

namespace kelvo::driver {
namespace {

using test::RawClient;
using namespace std::chrono_literals;

// Answers status 0 followed by the request reversed, and remembers every request it was handed.
class EchoHandler {
 public:
  std::vector<uint8_t> operator()(const std::vector<uint8_t>& request) {
    std::lock_guard<std::mutex> guard(lock);
    seen.push_back(request);
    std::vector<uint8_t> answer{kStatusSuccess};
    answer.insert(answer.end(), request.rbegin(), request.rend());
    return answer;
  }
  std::vector<std::vector<uint8_t>> requests() {
    std::lock_guard<std::mutex> guard(lock);
    return seen;
  }

 private:
  std::mutex lock;
  std::vector<std::vector<uint8_t>> seen;
};

class ReaderSocketTest : public ::testing::Test {
 protected:
  void SetUp() override {
    socket = std::make_unique<ReaderSocket>(path, [this](const std::vector<uint8_t>& request) {
      return (*echo)(request);
    });
    ASSERT_TRUE(socket->start());
  }

  std::vector<uint8_t> ask(const std::vector<uint8_t>& request) {
    auto answer = RawClient::exchange(path, request);
    EXPECT_TRUE(answer.has_value()) << "no answer";
    return answer.value_or(std::vector<uint8_t>{});
  }

  test::TempDirectory directory;
  const std::string path = directory.file("omnivex#ipc#ver6#kelvo_001a7dda7113");
  std::shared_ptr<EchoHandler> echo = std::make_shared<EchoHandler>();
  std::unique_ptr<ReaderSocket> socket;
};

TEST_F(ReaderSocketTest, SocketFileIsOpenToEveryLocalUserAndGoesAtStop) {
  struct stat status {};
  ASSERT_EQ(::stat(path.c_str(), &status), 0);
  EXPECT_TRUE(S_ISSOCK(status.st_mode));
  EXPECT_EQ(status.st_mode & 0777, 0666u);
  socket->stop();
  EXPECT_NE(::access(path.c_str(), F_OK), 0);
  EXPECT_FALSE(RawClient::exchange(path, {2}).has_value());
}

TEST_F(ReaderSocketTest, StaleSocketFileOfAnEarlierRunIsReplaced) {
  socket->stop();
  ASSERT_EQ(::mknod(path.c_str(), S_IFSOCK | 0600, 0), 0);
  ReaderSocket again(path, [this](const std::vector<uint8_t>& request) { return (*echo)(request); });
  ASSERT_TRUE(again.start());
  EXPECT_EQ(ask({5, 1, 2}), (std::vector<uint8_t>{0, 2, 1, 5}));
}

TEST_F(ReaderSocketTest, RequestsOfEverySizeUpToTheLimitArriveWhole) {
  for (size_t size : {size_t{1}, size_t{2}, size_t{45}, size_t{1023}, ReaderSocket::kMaxMessage}) {
    std::vector<uint8_t> request(size);
    for (size_t i = 0; i < size; ++i) request[i] = static_cast<uint8_t>(i * 7 + 3);
    ask(request);
    ASSERT_FALSE(echo->requests().empty());
    EXPECT_EQ(echo->requests().back(), request) << "request of " << size << " bytes";
  }
}

TEST_F(ReaderSocketTest, EmptyAndOversizedRequestsAreAnsweredWithAnErrorWithoutReachingTheReader) {
  EXPECT_EQ(ask({}), (std::vector<uint8_t>{kStatusWrongSize}));
  EXPECT_EQ(ask(std::vector<uint8_t>(ReaderSocket::kMaxMessage + 1, 2)), (std::vector<uint8_t>{kStatusWrongSize}));
  EXPECT_EQ(ask(std::vector<uint8_t>(64 * 1024, 2)), (std::vector<uint8_t>{kStatusWrongSize}));
  EXPECT_TRUE(echo->requests().empty());
}

TEST_F(ReaderSocketTest, AnswerTooLargeForTheWireBecomesARefusal) {
  socket->stop();
  ReaderSocket big(path, [](const std::vector<uint8_t>&) { return std::vector<uint8_t>(1025, 0); });
  ASSERT_TRUE(big.start());
  EXPECT_EQ(ask({5, 1}), (std::vector<uint8_t>{kStatusRefused}));
}

TEST_F(ReaderSocketTest, SilentAndHalfFinishedClientsAreDroppedWhileOthersAreServed) {
  const int silent = RawClient::connectTo(path);
  const int half = RawClient::connectTo(path);
  ASSERT_GE(silent, 0);
  ASSERT_GE(half, 0);
  ASSERT_EQ(::send(half, "\x03", 1, MSG_NOSIGNAL), 1);  // code sent, the rest never comes

  EXPECT_EQ(ask({2}), (std::vector<uint8_t>{0, 2}));

  // Both are closed by the driver without an answer once their time is up.
  for (int fd : {silent, half}) {
    auto answer = RawClient::readToEnd(fd, ReaderSocket::kRequestTimeout * 3);
    ASSERT_TRUE(answer.has_value()) << "the driver kept a silent connection open";
    EXPECT_TRUE(answer->empty());
    ::close(fd);
  }
  EXPECT_EQ(echo->requests().size(), 1u);
}

TEST_F(ReaderSocketTest, ClientThatHangsUpHalfwayCostsNothing) {
  const int fd = RawClient::connectTo(path);
  ASSERT_GE(fd, 0);
  ASSERT_EQ(::send(fd, "\x04\x01\x02", 3, MSG_NOSIGNAL), 3);
  ::close(fd);
  EXPECT_EQ(ask({6, 1, 2, 3}), (std::vector<uint8_t>{0, 3, 2, 1, 6}));
}

TEST_F(ReaderSocketTest, ClientThatNeverReadsItsAnswerDoesNotBlockOthers) {
  std::vector<int> idle;
  for (int i = 0; i < 4; ++i) {
    const int fd = RawClient::connectTo(path);
    ASSERT_GE(fd, 0);
    std::vector<uint8_t> request(1024, static_cast<uint8_t>(i));
    ASSERT_EQ(::send(fd, request.data(), request.size(), MSG_NOSIGNAL), 1024);
    ::shutdown(fd, SHUT_WR);
    idle.push_back(fd);  // never read
  }
  EXPECT_EQ(ask({1}), (std::vector<uint8_t>{0, 1}));
  for (int fd : idle) ::close(fd);
}

TEST_F(ReaderSocketTest, RandomBytesAndManyClientsAtOnceAllGetTheirOwnAnswer) {
  constexpr int kClients = 48;
  std::vector<std::thread> clients;
  std::atomic<int> wrong{0};
  for (int i = 0; i < kClients; ++i) {
    clients.emplace_back([this, i, &wrong] {
      std::mt19937 random(static_cast<unsigned>(i));
      std::vector<uint8_t> request(1 + random() % ReaderSocket::kMaxMessage);
      for (uint8_t& byte : request) byte = static_cast<uint8_t>(random());
      std::vector<uint8_t> expected{kStatusSuccess};
      expected.insert(expected.end(), request.rbegin(), request.rend());
      // A full backlog may turn a client away for a moment, as a busy driver does; it tries again.
      for (int attempt = 0; attempt < 50; ++attempt) {
        auto answer = RawClient::exchange(path, request);
        if (!answer) {
          std::this_thread::sleep_for(20ms);
          continue;
        }
        if (*answer != expected) ++wrong;
        return;
      }
      ++wrong;
    });
  }
  for (std::thread& client : clients) client.join();
  EXPECT_EQ(wrong.load(), 0);
  EXPECT_EQ(echo->requests().size(), static_cast<size_t>(kClients));
}

TEST_F(ReaderSocketTest, RequestInFlightWhenTheReaderIsLostIsAnsweredAsDeviceRemoved) {
  socket->stop();
  std::mutex lock;
  std::condition_variable changed;
  bool entered = false;
  bool release = false;
  ReaderSocket slow(path, [&](const std::vector<uint8_t>&) {
    std::unique_lock<std::mutex> guard(lock);
    entered = true;
    changed.notify_all();
    changed.wait(guard, [&] { return release; });
    return std::vector<uint8_t>{kStatusSuccess, 1, 2, 3};
  });
  ASSERT_TRUE(slow.start());
  std::optional<std::vector<uint8_t>> answer;
  std::thread client([&] { answer = RawClient::exchange(path, {2}); });
  {
    std::unique_lock<std::mutex> guard(lock);
    ASSERT_TRUE(changed.wait_for(guard, 10s, [&] { return entered; }));
  }
  slow.markLost();
  {
    std::lock_guard<std::mutex> guard(lock);
    release = true;
  }
  changed.notify_all();
  client.join();
  ASSERT_TRUE(answer.has_value());
  EXPECT_EQ(*answer, (std::vector<uint8_t>{kStatusDeviceRemoved}));
  EXPECT_EQ(RawClient::exchange(path, {2}), (std::vector<uint8_t>{kStatusDeviceRemoved}));
}

TEST_F(ReaderSocketTest, StopEndsWaitingConnectionsAtOnce) {
  const int silent = RawClient::connectTo(path);
  ASSERT_GE(silent, 0);
  // Let the server take the connection before it is told to stop.
  for (int i = 0; i < 500 && socket->activeConnections() == 0; ++i) std::this_thread::sleep_for(2ms);
  ASSERT_EQ(socket->activeConnections(), 1u);
  socket->stop();
  EXPECT_EQ(socket->activeConnections(), 0u);
  auto answer = RawClient::readToEnd(silent, 1s);
  EXPECT_TRUE(answer.has_value() && answer->empty());
  ::close(silent);
}

}  // namespace
}  // namespace kelvo::driver
