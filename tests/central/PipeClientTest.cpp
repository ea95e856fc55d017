// SPDX-License-Identifier: Apache-2.0
// The driver client against a scripted driver on a reader's socket: what goes on the wire, how answers and
// failures come back, and which of them are reported with which text.

#include <gtest/gtest.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <QSignalSpy>
#include <QTemporaryDir>
#include <atomic>
#include <thread>

#include "ScriptedDriver.h"
#include "devices/DevicePipeClient.h"

namespace {

using kelvo::test::ScriptedDriver;
using Bytes = ScriptedDriver::Bytes;

constexpr const char* kAddress = "D0A1B2C3D4E5";

QByteArray bytesOf(const Bytes& bytes) {
  return QByteArray(reinterpret_cast<const char*>(bytes.data()), static_cast<int>(bytes.size()));
}

class PipeClientTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(runtime.isValid());
    qputenv("TREVALON_RUNTIME_DIR", QFile::encodeName(runtime.path()));
  }

  void TearDown() override { qunsetenv("TREVALON_RUNTIME_DIR"); }

  std::string socketPath() const { return client.pipeName().toStdString(); }

  std::unique_ptr<ScriptedDriver> startDriver() {
    auto driver = std::make_unique<ScriptedDriver>(socketPath());
    EXPECT_TRUE(driver->isListening());
    return driver;
  }

  QStringList texts(const QSignalSpy& spy) const {
    QStringList all;
    for (const QList<QVariant>& emitted : spy) all << emitted.at(0).toString();
    return all;
  }

  QTemporaryDir runtime;
  DevicePipeClient client{QString::fromLatin1(kAddress)};
  QSignalSpy errors{&client, &PipeClient::errorOccurred};
  QSignalSpy debug{&client, &PipeClient::debugMessageLogged};
};

TEST_F(PipeClientTest, ReaderIsReachedAtTheSocketNamedAfterItsAddressInLowerCase) {
  EXPECT_EQ(client.pipeName(), runtime.path() + QStringLiteral("/omnivex#ipc#ver6#kelvo_d0a1b2c3d4e5"));
  EXPECT_EQ(client.clientName(), QStringLiteral("kelvo_d0a1b2c3d4e5"));
  EXPECT_EQ(client.address(), QString::fromLatin1(kAddress));
  // Built for every call: a moved runtime directory is followed without a new client.
  qputenv("TREVALON_RUNTIME_DIR", "/elsewhere");
  EXPECT_EQ(client.pipeName(), QStringLiteral("/elsewhere/omnivex#ipc#ver6#kelvo_d0a1b2c3d4e5"));
}

TEST_F(PipeClientTest, PayloadFillingTheBufferIsSentAndOneByteMoreIsRefusedWithoutAConnection) {
  auto driver = startDriver();
  uint8_t status = 0xEE;
  QByteArray response;
  const QByteArray largest(1023, '\x5A');
  ASSERT_TRUE(client.exchange(DevicePipeClient::kTransmitRpc, largest, status, response));
  EXPECT_EQ(status, 0);
  EXPECT_EQ(response, largest);
  ASSERT_EQ(driver->requests().size(), 1u);
  EXPECT_EQ(driver->requests()[0].size(), 1024u);
  EXPECT_EQ(driver->requests()[0][0], DevicePipeClient::kTransmitRpc);

  EXPECT_FALSE(client.exchange(DevicePipeClient::kTransmitRpc, QByteArray(1024, '\x5A'), status, response));
  EXPECT_EQ(texts(errors), QStringList{QStringLiteral("Request buffer overflow: request size 1024 bytes")});
  EXPECT_EQ(driver->requests().size(), 1u) << "the driver must not be called";
}

TEST_F(PipeClientTest, StatusByteAloneSucceedsAndLeavesTheResponseAsItWas) {
  auto driver = startDriver();
  driver->answer({6});
  uint8_t status = 0;
  QByteArray response("kept");
  ASSERT_TRUE(client.exchange(DevicePipeClient::kSetSetting, QByteArray("\x01\x02", 2), status, response));
  EXPECT_EQ(status, 6);
  EXPECT_EQ(response, QByteArray("kept"));
  EXPECT_TRUE(errors.isEmpty());
  EXPECT_TRUE(debug.isEmpty());
}

TEST_F(PipeClientTest, DeviceStateOfAnyOtherSizeThan44BytesFails) {
  auto driver = startDriver();
  for (int size : {43, 45, 0}) {
    errors.clear();
    Bytes answer(static_cast<size_t>(size) + 1, 7);
    answer[0] = 0;
    driver->answer(answer);
    QByteArray state("untouched");
    EXPECT_FALSE(client.getDeviceState(state)) << size;
    EXPECT_EQ(state, QByteArray("untouched"));
    EXPECT_EQ(
        texts(errors),
        QStringList{
            QStringLiteral("GetDeviceState returns state with invalid size (expected=44, received=%1)").arg(size)});
  }
  Bytes whole(45, 3);
  whole[0] = 0;
  driver->answer(whole);
  QByteArray state;
  ASSERT_TRUE(client.getDeviceState(state));
  EXPECT_EQ(state, QByteArray(44, '\x03'));
  EXPECT_EQ(driver->requests().back(), Bytes{DevicePipeClient::kGetDeviceState});
}

TEST_F(PipeClientTest, BrokenPipeIsTriedThreeTimesThenGivenUp) {
  auto driver = startDriver();
  for (int i = 0; i < 3; ++i) driver->hangUp();
  QByteArray state;
  EXPECT_FALSE(client.getDeviceState(state));
  EXPECT_EQ(texts(debug), (QStringList{QStringLiteral("CallNamedPipe failed because of broken pipe (attempt 1)"),
                                       QStringLiteral("CallNamedPipe failed because of broken pipe (attempt 2)"),
                                       QStringLiteral("CallNamedPipe failed because of broken pipe (attempt 3)")}));
  EXPECT_EQ(driver->requests().size(), 3u);
  EXPECT_TRUE(errors.isEmpty());
}

TEST_F(PipeClientTest, BrokenPipeFollowedByAnAnswerSucceeds) {
  auto driver = startDriver();
  driver->hangUp();
  driver->answer({0, '1', '.', '2'});
  QString version;
  ASSERT_TRUE(client.getDriverVersion(version));
  EXPECT_EQ(version, QStringLiteral("1.2"));
  EXPECT_EQ(texts(debug), QStringList{QStringLiteral("CallNamedPipe failed because of broken pipe (attempt 1)")});
  EXPECT_EQ(driver->requests().size(), 2u);
}

TEST_F(PipeClientTest, DriverThatServesNoSuchReaderFailsSilently) {
  QByteArray state;
  bool keyReset = true;
  QByteArray descriptor;
  EXPECT_FALSE(client.getDeviceState(state));
  EXPECT_FALSE(client.getDeviceDescriptor(descriptor, keyReset));
  EXPECT_FALSE(keyReset);
  EXPECT_TRUE(errors.isEmpty());
  EXPECT_TRUE(debug.isEmpty());
}

TEST_F(PipeClientTest, SocketLeftBehindByADriverThatIsGoneIsNotConnected) {
  { ScriptedDriver gone(socketPath()); }
  // The file stays (as after a crash) but nobody listens.
  sockaddr_un address{};
  address.sun_family = AF_UNIX;
  const int fd = ::socket(AF_UNIX, SOCK_STREAM, 0);
  std::strncpy(address.sun_path, socketPath().c_str(), sizeof(address.sun_path) - 1);
  ASSERT_EQ(::bind(fd, reinterpret_cast<const sockaddr*>(&address), sizeof(address)), 0);
  ::close(fd);
  QByteArray state;
  EXPECT_FALSE(client.getDeviceState(state));
  EXPECT_EQ(texts(debug), QStringList{QStringLiteral("CallNamedPipe failed because of not connected pipe")});
  EXPECT_TRUE(errors.isEmpty());
  ::unlink(socketPath().c_str());
}

TEST_F(PipeClientTest, DriverWhoseBacklogIsFullIsBusyAndNotRetried) {
  sockaddr_un address{};
  address.sun_family = AF_UNIX;
  std::strncpy(address.sun_path, socketPath().c_str(), sizeof(address.sun_path) - 1);
  const int listener = ::socket(AF_UNIX, SOCK_STREAM, 0);
  ASSERT_EQ(::bind(listener, reinterpret_cast<const sockaddr*>(&address), sizeof(address)), 0);
  ASSERT_EQ(::listen(listener, 0), 0);
  std::vector<int> waiting;
  for (int i = 0; i < 64; ++i) {
    const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_NONBLOCK, 0);
    if (::connect(fd, reinterpret_cast<const sockaddr*>(&address), sizeof(address)) != 0) {
      ::close(fd);
      break;
    }
    waiting.push_back(fd);
  }
  QByteArray state;
  EXPECT_FALSE(client.getDeviceState(state));
  EXPECT_EQ(texts(debug), QStringList{QStringLiteral("CallNamedPipe failed because pipe is busy")});
  for (int fd : waiting) ::close(fd);
  ::close(listener);
  ::unlink(socketPath().c_str());
}

TEST_F(PipeClientTest, OtherFailuresAreErrorsWithTheirNumber) {
  qputenv("TREVALON_RUNTIME_DIR", QByteArray(200, 'd').prepend('/'));
  QByteArray state;
  EXPECT_FALSE(client.getDeviceState(state));
  EXPECT_EQ(texts(errors), QStringList{QStringLiteral("CallNamedPipe failed with error %1").arg(ENAMETOOLONG)});
}

TEST_F(PipeClientTest, ReaderLostWhileServingFailsWithADebugLine) {
  auto driver = startDriver();
  driver->answer({253, 1, 2});
  uint8_t status = 0;
  QByteArray response;
  EXPECT_FALSE(client.exchange(DevicePipeClient::kGetDeviceState, status, response));
  EXPECT_EQ(texts(debug), QStringList{QStringLiteral("Device removed while sending IPC")});
  EXPECT_TRUE(response.isEmpty());
}

TEST_F(PipeClientTest, DescriptorStatusesTheManagerHandlesItselfAreSilent) {
  auto driver = startDriver();
  driver->answer({0, 4, 'a', 'b'});
  driver->answer({9});
  driver->answer({1});
  driver->answer({4});
  QByteArray descriptor;
  bool keyReset = true;
  ASSERT_TRUE(client.getDeviceDescriptor(descriptor, keyReset));
  EXPECT_EQ(descriptor, QByteArray("\x04"
                                   "ab",
                                   3));
  EXPECT_FALSE(keyReset);
  EXPECT_FALSE(client.getDeviceDescriptor(descriptor, keyReset));
  EXPECT_TRUE(keyReset);
  EXPECT_FALSE(client.getDeviceDescriptor(descriptor, keyReset));
  EXPECT_FALSE(keyReset);
  EXPECT_TRUE(debug.isEmpty());
  EXPECT_FALSE(client.getDeviceDescriptor(descriptor, keyReset));
  EXPECT_EQ(texts(debug), QStringList{QStringLiteral("GetDeviceDescriptor failed with error 4")});
  EXPECT_TRUE(errors.isEmpty());
}

TEST_F(PipeClientTest, RequestsGoOnTheWireInTheirLayoutAndFailuresNameTheirStatus) {
  auto driver = startDriver();
  TimeRanges ranges;
  ranges.ranges[0] = {480, 1080};
  ranges.ranges[1] = {-1, 70000};  // wider than the wire's 16 bits: narrowed, as the reader stores it
  for (int i = 0; i < 5; ++i) driver->answer({6});
  QByteArray response;
  EXPECT_FALSE(client.setSetting(3, 200));
  EXPECT_FALSE(client.setWorkingTimeRanges(ranges));
  EXPECT_FALSE(client.indicate(1, 2, 3));
  EXPECT_FALSE(client.transmitRpc(QByteArray("A\x01", 2), response));
  QString version;
  EXPECT_FALSE(client.getDriverVersion(version));
  EXPECT_EQ(texts(debug), (QStringList{QStringLiteral("SetSetting with id 3 and value 200 failed with error 6"),
                                       QStringLiteral("SetWorkingTimeRanges failed with error 6"),
                                       QStringLiteral("Indicate failed with error 6"),
                                       QStringLiteral("TransmitRpc 'A' failed with error 6")}));
  EXPECT_TRUE(errors.isEmpty());

  Bytes rangesRequest{DevicePipeClient::kSetWorkingTimeRanges, 0xE0, 0x01, 0x38, 0x04, 0xFF, 0xFF, 0x70, 0x11};
  for (int i = 2; i < TimeRanges::kEntries; ++i) rangesRequest.insert(rangesRequest.end(), {0xFF, 0xFF, 0xFF, 0xFF});
  const std::vector<Bytes> expected = {
      {DevicePipeClient::kSetSetting, 3, 200}, rangesRequest,
      {DevicePipeClient::kIndicate, 1, 2, 3},  {DevicePipeClient::kTransmitRpc, 'A', 1},
      {DevicePipeClient::kGetDriverVersion},
  };
  EXPECT_EQ(driver->requests(), expected);
}

TEST_F(PipeClientTest, SuccessfulRequestsHandTheirAnswersOut) {
  auto driver = startDriver();
  driver->answer({0});
  driver->answer({0});
  driver->answer({0});
  driver->answer({0, 0x00, 0x11, 0x22});
  TimeRanges ranges;
  EXPECT_TRUE(client.setSetting(1, 2));
  EXPECT_TRUE(client.setWorkingTimeRanges(ranges));
  EXPECT_TRUE(client.indicate(1, 0, 0));
  QByteArray response;
  ASSERT_TRUE(client.transmitRpc(QByteArray("\x0D", 1), response));
  EXPECT_EQ(response, bytesOf({0x00, 0x11, 0x22})) << "the RPC answer whole, its status first";
  EXPECT_TRUE(errors.isEmpty());
  EXPECT_TRUE(debug.isEmpty());
}

TEST_F(PipeClientTest, ExchangesFromManyThreadsOnOneClientEachGetTheirOwnAnswer) {
  auto driver = startDriver();
  std::atomic<int> wrong{0};
  std::vector<std::thread> threads;
  for (int t = 0; t < 6; ++t) {
    threads.emplace_back([this, t, &wrong] {
      for (int i = 0; i < 15; ++i) {
        const QByteArray payload = QByteArray::number(t * 100 + i);
        uint8_t status = 0xEE;
        QByteArray response;
        if (!client.exchange(DevicePipeClient::kTransmitRpc, payload, status, response) || status != 0 ||
            response != payload) {
          ++wrong;
        }
      }
    });
  }
  for (std::thread& thread : threads) thread.join();
  EXPECT_EQ(wrong.load(), 0);
  EXPECT_EQ(driver->requests().size(), 90u);
}

}  // namespace
