// SPDX-License-Identifier: Apache-2.0
// kelvo-driver as a process with two emulated readers, reached through the application's driver client, against
// the in-process requests on a second emulated world built from the same scenario file (the same emulator must
// not serve two hosts: their encryption counters would fall out of step).

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <QCoreApplication>
#include <QSignalSpy>
#include <atomic>
#include <fstream>
#include <random>
#include <sstream>

#include "DriverProcess.h"
#include "RawClient.h"
#include "ReaderDiscovery.h"
#include "RequestDispatcher.h"
#include "TwoReaderScenario.h"
#include "devices/DevicePipeClient.h"
#include "kelvo/simulator/scenario/ScenarioRadio.h"
#include "trevalon/classic/DevicePipe.h"
#include "trevalon/local/Facade.h"
#include "trevalon/local/FileSettings.h"
#include "trevalon/local/LinuxMachine.h"

namespace {

using kelvo::test::DriverProcess;
using kelvo::test::RawClient;
using kelvo::test::TwoReaderScenario;
using trevalon::classic::DevicePipe;
using namespace std::chrono_literals;

QByteArray bytesOf(const std::vector<uint8_t>& bytes) {
  return QByteArray(reinterpret_cast<const char*>(bytes.data()), static_cast<int>(bytes.size()));
}

// The same readers in this process: the comparison path.
class InProcessWorld {
 public:
  explicit InProcessWorld(const std::string& scenarioFile) {
    trevalon::local::Facade::instance().setSettings(std::make_shared<trevalon::local::FileSettings>(settings.path()));
    trevalon::local::Facade::instance().setMachine(std::make_shared<trevalon::local::LinuxMachine>());
    kelvo::simulator::ScenarioRadio::registerAsSim();
    discovery = std::make_unique<kelvo::driver::ReaderDiscovery>(
        trevalon::ble::Backend::create("sim", scenarioFile, kelvo::driver::ReaderDiscovery::backendOptions()), 50ms);
    discovery->start();
  }
  ~InProcessWorld() {
    discovery.reset();
    trevalon::local::Facade::instance().setSettings(nullptr);
  }

  // The reader's device once its link is up and its state can be read.
  std::shared_ptr<trevalon::Device> device(const std::string& address) {
    for (int attempt = 0; attempt < 200; ++attempt) {
      for (const auto& device : discovery->devices()->getProvided()) {
        std::vector<uint8_t> record;
        if (device->getAddress() == address && device->isAvailable() &&
            DevicePipe::InvokeGetDeviceState(device, record) == DevicePipe::kSuccess) {
          return device;
        }
      }
      std::this_thread::sleep_for(25ms);
    }
    return nullptr;
  }

 private:
  kelvo::test::TempDirectory settings;
  std::unique_ptr<kelvo::driver::ReaderDiscovery> discovery;
};

class DriverIntegrationTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(driver.isRunning());
    qputenv("TREVALON_RUNTIME_DIR", QByteArray::fromStdString(driver.runtime));
    for (const char* address : {TwoReaderScenario::kFirst, TwoReaderScenario::kSecond}) {
      ASSERT_TRUE(RawClient::waitForPath(driver.socketOf(address), true, 20s)) << address;
    }
  }
  void TearDown() override { qunsetenv("TREVALON_RUNTIME_DIR"); }

  // The driver's state of the reader once its link is up there too.
  static QByteArray connectedState(DevicePipeClient& client) {
    QByteArray state;
    for (int attempt = 0; attempt < 200; ++attempt) {
      if (client.getDeviceState(state) && state.at(0) == 1) return state;
      std::this_thread::sleep_for(25ms);
    }
    return {};
  }

  kelvo::test::TempDirectory files;
  const std::string scenarioFile = TwoReaderScenario::write(files.file("two.json"));
  DriverProcess driver{scenarioFile, /*logging=*/true};
};

TEST_F(DriverIntegrationTest, DriverAndInProcessRequestsAnswerAlikeByteForByte) {
  InProcessWorld world(scenarioFile);
  for (const char* address : {TwoReaderScenario::kFirst, TwoReaderScenario::kSecond}) {
    SCOPED_TRACE(address);
    DevicePipeClient client{QString::fromLatin1(address).toUpper()};
    QSignalSpy errors(&client, &PipeClient::errorOccurred);
    ASSERT_FALSE(connectedState(client).isEmpty());
    std::shared_ptr<trevalon::Device> device = world.device(address);
    ASSERT_TRUE(device);

    QByteArray descriptor;
    bool keyReset = true;
    std::vector<uint8_t> expectedDescriptor;
    ASSERT_TRUE(client.getDeviceDescriptor(descriptor, keyReset));
    EXPECT_FALSE(keyReset);
    ASSERT_EQ(DevicePipe::InvokeGetDeviceDescriptor(device, expectedDescriptor), DevicePipe::kSuccess);
    EXPECT_EQ(descriptor, bytesOf(expectedDescriptor));

    QString version;
    ASSERT_TRUE(client.getDriverVersion(version));
    EXPECT_EQ(version.toStdString(), kelvo::driver::RequestDispatcher::driverVersion());

    ASSERT_TRUE(client.setSetting(6, 0));  // buzzer off
    EXPECT_EQ(DevicePipe::InvokeSetSetting(device, {6, 0}), DevicePipe::kSuccess);
    TimeRanges ranges;
    ranges.ranges[2] = {3360, 3960};
    ranges.ranges[6] = {8640, 9000};
    ASSERT_TRUE(client.setWorkingTimeRanges(ranges));
    const QByteArray record = ranges.toRecord();
    EXPECT_EQ(DevicePipe::InvokeSetWorkingTimeRanges(device, std::vector<uint8_t>(record.begin(), record.end())),
              DevicePipe::kSuccess);
    ASSERT_TRUE(client.indicate(1, 0, 0));
    EXPECT_EQ(DevicePipe::InvokeIndicate(device, {1, 0, 0}), DevicePipe::kSuccess);

    QByteArray state;
    std::vector<uint8_t> expectedState;
    ASSERT_TRUE(client.getDeviceState(state));
    ASSERT_EQ(DevicePipe::InvokeGetDeviceState(device, expectedState), DevicePipe::kSuccess);
    EXPECT_EQ(state, bytesOf(expectedState));
    EXPECT_EQ(state.at(13), 0) << "the buzzer setting reached the reader";
    EXPECT_EQ(state.mid(16), record) << "the ranges reached the reader";

    QByteArray rpc;
    std::vector<uint8_t> expectedRpc;
    ASSERT_TRUE(client.transmitRpc(QByteArray("\x0D", 1), rpc));
    ASSERT_EQ(DevicePipe::InvokeTransmitRpc(device, {0x0D}, expectedRpc), DevicePipe::kSuccess);
    EXPECT_EQ(rpc, bytesOf(expectedRpc));
    EXPECT_FALSE(rpc.isEmpty());

    QSignalSpy debug(&client, &PipeClient::debugMessageLogged);
    EXPECT_FALSE(client.transmitRpc(QByteArray("\x0A", 1), rpc));
    EXPECT_EQ(debug.size(), 1);
    EXPECT_EQ(debug.at(0).at(0).toString(), QStringLiteral("TransmitRpc '\n' failed with error 6"));
    EXPECT_TRUE(errors.isEmpty());
  }
}

TEST_F(DriverIntegrationTest, ReaderTakenOffTheAirLosesItsSocketAndItsClientFailsSilently) {
  DevicePipeClient gone{QString::fromLatin1(TwoReaderScenario::kSecond)};
  DevicePipeClient staying{QString::fromLatin1(TwoReaderScenario::kFirst)};
  ASSERT_FALSE(connectedState(gone).isEmpty());
  ASSERT_TRUE(driver.command(std::string("remove-reader ") + TwoReaderScenario::kSecond));
  ASSERT_TRUE(RawClient::waitForPath(driver.socketOf(TwoReaderScenario::kSecond), false, 20s));

  QSignalSpy errors(&gone, &PipeClient::errorOccurred);
  QSignalSpy debug(&gone, &PipeClient::debugMessageLogged);
  QByteArray state;
  EXPECT_FALSE(gone.getDeviceState(state));
  EXPECT_TRUE(errors.isEmpty());
  EXPECT_TRUE(debug.isEmpty());
  EXPECT_FALSE(connectedState(staying).isEmpty());
}

TEST_F(DriverIntegrationTest, AbusedSocketLeavesTheDriverServingEveryReader) {
  const std::string target = driver.socketOf(TwoReaderScenario::kFirst);
  DevicePipeClient first{QString::fromLatin1(TwoReaderScenario::kFirst)};
  DevicePipeClient second{QString::fromLatin1(TwoReaderScenario::kSecond)};
  ASSERT_FALSE(connectedState(first).isEmpty());
  ASSERT_FALSE(connectedState(second).isEmpty());

  // Clients that never finish their request, or never read their answer, stay connected throughout.
  std::vector<int> lingering;
  for (int i = 0; i < 6; ++i) {
    const int fd = RawClient::connectTo(target);
    ASSERT_GE(fd, 0);
    if (i % 2 == 0) {
      ::send(fd, "\x04\x01", 2, MSG_NOSIGNAL);  // half a ranges request
    } else {
      ::send(fd, "\x02", 1, MSG_NOSIGNAL);  // a whole state request whose answer is never read
      ::shutdown(fd, SHUT_WR);
    }
    lingering.push_back(fd);
  }
  std::atomic<int> unanswered{0};
  std::vector<std::thread> noise;
  for (int t = 0; t < 24; ++t) {
    noise.emplace_back([&target, &unanswered, t] {
      std::mt19937 random(static_cast<unsigned>(t));
      std::vector<uint8_t> garbage(random() % 1400);
      for (uint8_t& byte : garbage) byte = static_cast<uint8_t>(random());
      // Keep clear of codes that would change the reader: the garbage is meant to be refused.
      if (!garbage.empty() && garbage[0] >= 1 && garbage[0] <= 6) garbage[0] = 0x80;
      bool answered = false;
      for (int attempt = 0; attempt < 50 && !answered; ++attempt) {
        auto answer = RawClient::exchange(target, garbage);
        answered = answer.has_value() && answer->size() == 1 && answer->at(0) != 0;
        if (!answered) std::this_thread::sleep_for(20ms);
      }
      if (!answered) ++unanswered;
    });
  }
  QByteArray state;
  EXPECT_TRUE(second.getDeviceState(state)) << "the other reader is served meanwhile";
  for (std::thread& thread : noise) thread.join();
  EXPECT_EQ(unanswered.load(), 0) << "every malformed request gets an error status";
  EXPECT_TRUE(first.getDeviceState(state));
  EXPECT_TRUE(second.getDeviceState(state));
  for (int fd : lingering) ::close(fd);
  EXPECT_TRUE(driver.isRunning());
}

TEST_F(DriverIntegrationTest, StopRemovesTheSocketsAndTheLogFileHoldsTheLibraryLog) {
  DevicePipeClient client{QString::fromLatin1(TwoReaderScenario::kFirst)};
  ASSERT_FALSE(connectedState(client).isEmpty());
  EXPECT_EQ(driver.stop(), 0);
  EXPECT_NE(::access(driver.socketOf(TwoReaderScenario::kFirst).c_str(), F_OK), 0);
  EXPECT_NE(::access(driver.socketOf(TwoReaderScenario::kSecond).c_str(), F_OK), 0);
  std::ifstream log(driver.data + "/driver.log");
  std::stringstream text;
  text << log.rdbuf();
  EXPECT_NE(text.str().find("trevalon::classic::DevicePipe::InvokeGetDeviceState"), std::string::npos);
  struct stat status {};
  ASSERT_EQ(::stat((driver.data + "/driver.log").c_str(), &status), 0);
  EXPECT_EQ(status.st_mode & 0777, 0640u) << "the log is for the driver and its group only";

  QSignalSpy errors(&client, &PipeClient::errorOccurred);
  QSignalSpy debug(&client, &PipeClient::debugMessageLogged);
  QByteArray state;
  EXPECT_FALSE(client.getDeviceState(state)) << "a driver that is not running";
  EXPECT_TRUE(errors.isEmpty());
  EXPECT_TRUE(debug.isEmpty());
}

}  // namespace

int main(int argc, char** argv) {
  QCoreApplication application(argc, argv);
  ::testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
