// SPDX-License-Identifier: Apache-2.0
// The socket server of one reader, with a handler that stands in for the reader: what reaches it, what the
// client gets back, that clients which misbehave never hold up the others, and that a client stuck behind a slow
// reader hears so in time. (Who is served is PeerAccessTest's.)

#include "ReaderSocket.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <fcntl.h>

#include <atomic>
#include <condition_variable>
#include <filesystem>
#include <functional>
#include <mutex>
#include <random>
#include <thread>

#include "DriverStatus.h"
#include "FixedSeatSessions.h"
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
    std::vector<uint8_t> answer(request.size() + 1, kStatusSuccess);
    std::copy(request.rbegin(), request.rend(), answer.begin() + 1);
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

// The clients run as the test's own user, which is the socket's own and served as such: no root needed.
std::shared_ptr<PeerPolicy> policyServingTheTestUser() {
  return std::make_shared<PeerPolicy>(std::make_shared<test::FixedSeatSessions>());
}

class ReaderSocketTest : public ::testing::Test {
 protected:
  void SetUp() override {
    socket = std::make_unique<ReaderSocket>(path, echoing(), policy, oneUserPlaysEveryClient());
    ASSERT_TRUE(socket->start());
  }

  // The clients here all run as the test's user; the per-uid quota is PeerAccessTest's.
  static ReaderSocketLimits oneUserPlaysEveryClient() {
    ReaderSocketLimits limits;
    limits.perUid = limits.total;
    return limits;
  }

  ReaderSocket::Handler echoing() {
    return [echo = echo](const std::vector<uint8_t>& request) { return (*echo)(request); };
  }

  std::vector<uint8_t> ask(const std::vector<uint8_t>& request) {
    auto answer = RawClient::exchange(path, request);
    EXPECT_TRUE(answer.has_value()) << "no answer";
    return answer.value_or(std::vector<uint8_t>{});
  }

  test::TempDirectory directory;
  const std::string path = directory.file("omnivex#ipc#ver6#kelvo_001a7dda7113");
  std::shared_ptr<EchoHandler> echo = std::make_shared<EchoHandler>();
  std::shared_ptr<PeerPolicy> policy = policyServingTheTestUser();
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
  ReaderSocket again(path, echoing(), policy);
  ASSERT_TRUE(again.start());
  EXPECT_EQ(ask({5, 1, 2}), (std::vector<uint8_t>{0, 2, 1, 5}));
}

TEST_F(ReaderSocketTest, AnythingButAStaleSocketOfOursInTheWayIsRefusedAndLeftAlone) {
  socket->stop();
  const std::string target = directory.file("target");
  struct Case {
    const char* what;
    std::function<int()> make;  // 0 when made
    mode_t kind;
  };
  const std::vector<Case> cases = {
      {"a symbolic link to a file of the driver's", [&] { return ::symlink(target.c_str(), path.c_str()); }, S_IFLNK},
      {"a dangling symbolic link", [&] { return ::symlink(directory.file("nowhere").c_str(), path.c_str()); }, S_IFLNK},
      {"a regular file", [&] { return ::close(::open(path.c_str(), O_CREAT | O_WRONLY | O_CLOEXEC, 0600)); }, S_IFREG},
      {"a directory", [&] { return ::mkdir(path.c_str(), 0700); }, S_IFDIR},
      {"a socket of another user",
       [&] {
         if (::geteuid() != 0) return -1;
         return ::mknod(path.c_str(), S_IFSOCK | 0600, 0) == 0 ? ::lchown(path.c_str(), 65534, 65534) : -1;
       },
       S_IFSOCK},
  };
  for (const Case& each : cases) {
    ASSERT_EQ(::close(::open(target.c_str(), O_CREAT | O_WRONLY | O_CLOEXEC, 0600)), 0);
    ASSERT_EQ(::chmod(target.c_str(), 0600), 0);
    if (each.make() != 0) {
      ASSERT_NE(::geteuid(), 0u) << "cannot make " << each.what;
      continue;  // another user's socket takes root to make
    }
    ReaderSocket refused(path, echoing(), policy);
    EXPECT_FALSE(refused.start()) << each.what;
    refused.stop();
    struct stat status {};
    ASSERT_EQ(::lstat(path.c_str(), &status), 0) << each.what << " was removed";
    EXPECT_EQ(status.st_mode & S_IFMT, each.kind) << each.what << " was replaced";
    ASSERT_EQ(::stat(target.c_str(), &status), 0);
    EXPECT_EQ(status.st_mode & 0777, 0600u) << "the socket's mode reached the target of " << each.what;
    std::filesystem::remove_all(path);
  }
  EXPECT_TRUE(echo->requests().empty());
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
  EXPECT_EQ(ask(std::vector<uint8_t>(size_t{64} * 1024, 2)), (std::vector<uint8_t>{kStatusWrongSize}));
  EXPECT_TRUE(echo->requests().empty());
}

TEST_F(ReaderSocketTest, AnswerTooLargeForTheWireBecomesARefusal) {
  socket->stop();
  ReaderSocket big(
      path, [](const std::vector<uint8_t>&) { return std::vector<uint8_t>(1025, 0); }, policy);
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
    auto answer = RawClient::readToEnd(fd, ReaderSocketLimits().ioTimeout * 3);
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
  ReaderSocket slow(
      path,
      [&](const std::vector<uint8_t>&) {
        std::unique_lock<std::mutex> guard(lock);
        entered = true;
        changed.notify_all();
        changed.wait(guard, [&] { return release; });
        return std::vector<uint8_t>{kStatusSuccess, 1, 2, 3};
      },
      policy);
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

// A reader that takes every request it is handed and answers (status 0, then the request) only when the test
// opens the gate.
class GatedReader {
 public:
  std::vector<uint8_t> operator()(const std::vector<uint8_t>& request) {
    std::unique_lock<std::mutex> guard(lock);
    seen.push_back(request);
    changed.notify_all();
    changed.wait(guard, [this] { return open; });
    std::vector<uint8_t> answer(request.size() + 1, kStatusSuccess);
    std::copy(request.begin(), request.end(), answer.begin() + 1);
    return answer;
  }
  bool waitForRequests(size_t count) {
    std::unique_lock<std::mutex> guard(lock);
    return changed.wait_for(guard, 10s, [&] { return seen.size() >= count; });
  }
  void openGate() {
    std::lock_guard<std::mutex> guard(lock);
    open = true;
    changed.notify_all();
  }
  std::vector<std::vector<uint8_t>> requests() {
    std::lock_guard<std::mutex> guard(lock);
    return seen;
  }

 private:
  std::mutex lock;
  std::condition_variable changed;
  bool open = false;
  std::vector<std::vector<uint8_t>> seen;
};

class ReaderSocketDeadlineTest : public ::testing::Test {
 protected:
  static ReaderSocketLimits shortDeadlines() {
    ReaderSocketLimits limits;
    limits.startDeadline = 400ms;
    limits.answerDeadline = 800ms;
    return limits;
  }

  void SetUp() override {
    // Code 16 stands for a request that needs no reader.
    auto precheck = [](const std::vector<uint8_t>& request,
                       const ReaderSocket::ConnectionWatch&) -> std::optional<std::vector<uint8_t>> {
      if (request[0] == 16) return std::vector<uint8_t>{kStatusSuccess, 'v'};
      return std::nullopt;
    };
    socket = std::make_unique<ReaderSocket>(
        path, [reader = reader](const std::vector<uint8_t>& request) { return (*reader)(request); },
        policyServingTheTestUser(), limits, precheck);
    ASSERT_TRUE(socket->start());
  }

  void TearDown() override {
    reader->openGate();
    socket->stop();
  }

  // The answer and how long it took.
  std::pair<std::vector<uint8_t>, std::chrono::milliseconds> timedAsk(const std::vector<uint8_t>& request) {
    const auto start = std::chrono::steady_clock::now();
    auto answer = RawClient::exchange(path, request, 30s);
    return {answer.value_or(std::vector<uint8_t>{}),
            std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - start)};
  }

  test::TempDirectory directory;
  const std::string path = directory.file("omnivex#ipc#ver6#kelvo_001a7dda7113");
  const ReaderSocketLimits limits = shortDeadlines();
  std::shared_ptr<GatedReader> reader = std::make_shared<GatedReader>();
  std::unique_ptr<ReaderSocket> socket;
};

TEST_F(ReaderSocketDeadlineTest, ARequestStuckAtTheReaderTimesOutAndTheOnesBehindItAreBusyWithoutReachingIt) {
  std::pair<std::vector<uint8_t>, std::chrono::milliseconds> stuck;
  std::thread first([&] { stuck = timedAsk({2, 1}); });
  ASSERT_TRUE(reader->waitForRequests(1));

  const auto behind = timedAsk({3, 7, 1});
  EXPECT_EQ(behind.first, std::vector<uint8_t>{kStatusBusy});
  EXPECT_GE(behind.second, limits.startDeadline);
  EXPECT_LT(behind.second, limits.startDeadline + 2s);

  first.join();
  EXPECT_EQ(stuck.first, std::vector<uint8_t>{kStatusTimedOut});
  EXPECT_GE(stuck.second, limits.answerDeadline);
  EXPECT_LT(stuck.second, limits.answerDeadline + 2s);
  EXPECT_EQ(reader->requests(), (std::vector<std::vector<uint8_t>>{{2, 1}})) << "a busy request reached the reader";

  // The reader's late answer to the first request goes nowhere; the next request gets its own.
  reader->openGate();
  EXPECT_EQ(timedAsk({2, 3}).first, (std::vector<uint8_t>{kStatusSuccess, 2, 3}));
}

TEST_F(ReaderSocketDeadlineTest, RequestsThatNeedNoReaderAreAnsweredAtOnceWhileTheReaderIsStuck) {
  std::thread stuck([&] { timedAsk({2, 1}); });
  ASSERT_TRUE(reader->waitForRequests(1));
  const auto version = timedAsk({16});
  EXPECT_EQ(version.first, (std::vector<uint8_t>{kStatusSuccess, 'v'}));
  EXPECT_LT(version.second, limits.startDeadline);
  stuck.join();
}

TEST_F(ReaderSocketDeadlineTest, WaitingRequestsAreAnsweredDeviceRemovedAtOnceWhenTheReaderIsLost) {
  std::pair<std::vector<uint8_t>, std::chrono::milliseconds> running;
  std::pair<std::vector<uint8_t>, std::chrono::milliseconds> waiting;
  std::thread first([&] { running = timedAsk({2, 1}); });
  ASSERT_TRUE(reader->waitForRequests(1));
  std::thread second([&] { waiting = timedAsk({2, 2}); });
  for (int i = 0; i < 500 && socket->activeConnections() < 2; ++i) std::this_thread::sleep_for(2ms);
  std::this_thread::sleep_for(50ms);  // let the second request reach the queue
  socket->markLost();
  first.join();
  second.join();
  EXPECT_EQ(running.first, std::vector<uint8_t>{kStatusDeviceRemoved});
  EXPECT_EQ(waiting.first, std::vector<uint8_t>{kStatusDeviceRemoved});
  EXPECT_LT(running.second, limits.answerDeadline);
  EXPECT_LT(waiting.second, limits.startDeadline);
  EXPECT_EQ(reader->requests().size(), 1u);
}

}  // namespace
}  // namespace kelvo::driver
