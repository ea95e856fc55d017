// SPDX-License-Identifier: Apache-2.0
// The cost of reaching a card through pcscd: one APDU (SELECT of the PIV application) through libpcsclite, pcscd,
// our IFD handler and kelvo-driver, beside the same APDU sent in process on the library's card path over the same
// emulated reader (what `kelvo-cli apdu` does). The difference is what PC/SC adds per APDU, in wall time and in
// CPU of all processes involved (this one, pcscd and kelvo-driver). It is set against the floor of any socket
// design: a Unix-socket round trip the way the card channel makes one (connect, write, half-close, read to EOF,
// close), measured in the same run on the same loaded machine. The goal is an added cost of at most 3 floors.
//
// Between the two, the same APDU straight on kelvo-driver's card channel (no pcscd) shows which side the cost is on.
// The benchmarks run in the order they are registered and the last one reports the comparison, so run them all
// in one go. The pcscd path needs root and scripts/with-pcscd (a private pcscd and a driver serving
// tests/integration/scenarios/pcsc-readers.json); scripts/run-bench arranges both.

#include <benchmark/benchmark.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <time.h>
#include <unistd.h>
#include <winscard.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <mutex>
#include <optional>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "kelvo/simulator/kelvo/KelvoReaderEmulator.h"
#include "trevalon/Reader.h"
#include "trevalon/local/Facade.h"
#include "trevalon/local/FileSettings.h"
#include "trevalon/local/LinuxMachine.h"
#include "trevalon/sim/BLEReaderSim.h"
#include "trevalon/sim/SimulatedRadio.h"

namespace {

using Bytes = std::vector<uint8_t>;
using Clock = std::chrono::steady_clock;

// The Kelvo reader of tests/integration/scenarios/pcsc-readers.json, which the pcscd path is run with.
const std::string kAddress = "001a7dda7113";
const Bytes kAtr = {0x3B, 0x81, 0x80, 0x01, 0x80, 0x80};
const Bytes kSelectPiv = {0x00, 0xA4, 0x04, 0x00, 0x09, 0xA0, 0x00, 0x00, 0x03, 0x08, 0x00, 0x00, 0x10, 0x00, 0x00};
// The floor's request and answer: about the size of a card channel transmit and its status word.
constexpr size_t kFloorRequest = 16;
constexpr size_t kFloorAnswer = 3;

bool answeredOk(const Bytes& answer) {
  return answer.size() >= 2 && answer[answer.size() - 2] == 0x90 && answer.back() == 0x00;
}

double processCpuSeconds() {
  timespec now{};
  ::clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &now);
  return static_cast<double>(now.tv_sec) + static_cast<double>(now.tv_nsec) * 1e-9;
}

// utime + stime of another process, in seconds; empty when it cannot be read.
std::optional<double> otherProcessCpuSeconds(pid_t pid) {
  std::ifstream file("/proc/" + std::to_string(pid) + "/stat");
  std::string text;
  if (!std::getline(file, text)) return std::nullopt;
  // The command name may hold blanks and parentheses: fields are counted after its closing one.
  const size_t end = text.rfind(')');
  if (end == std::string::npos) return std::nullopt;
  std::istringstream fields(text.substr(end + 2));
  std::string field;
  unsigned long long utime = 0, stime = 0;
  for (int index = 3; fields >> field; ++index) {
    if (index == 14) utime = std::stoull(field);
    if (index == 15) {
      stime = std::stoull(field);
      return static_cast<double>(utime + stime) / static_cast<double>(::sysconf(_SC_CLK_TCK));
    }
  }
  return std::nullopt;
}

std::optional<pid_t> pidFromFile(const std::string& path) {
  std::ifstream file(path);
  long pid = 0;
  if (!(file >> pid) || pid <= 0) return std::nullopt;
  return static_cast<pid_t>(pid);
}

// Per-APDU figures of one path, in microseconds, kept for the comparison at the end of the run.
struct PerApdu {
  double wallUs = 0;
  double cpuUs = 0;
};
std::optional<PerApdu> floorOneShot;
std::optional<PerApdu> inProcess;

// Measures wall and CPU time over a benchmark's loop; cpu() adds the CPU of other processes when given.
class LoopMeter {
 public:
  explicit LoopMeter(std::vector<pid_t> others = {}) : others(std::move(others)) {}
  bool start() {
    cpuStart = cpuOfEach();
    wallStart = Clock::now();
    return cpuStart.has_value();
  }
  std::optional<PerApdu> stop(benchmark::IterationCount iterations) {
    const auto wall = Clock::now() - wallStart;
    const auto cpuEnd = cpuOfEach();
    if (!cpuStart || !cpuEnd || iterations == 0) return std::nullopt;
    const double count = static_cast<double>(iterations);
    shares.clear();
    double total = 0;
    for (size_t index = 0; index < cpuEnd->size(); ++index) {
      shares.push_back(((*cpuEnd)[index] - (*cpuStart)[index]) * 1e6 / count);
      total += shares.back();
    }
    return PerApdu{std::chrono::duration<double, std::micro>(wall).count() / count, total};
  }
  // CPU per APDU of this process, then of each other process in the order given, after stop().
  const std::vector<double>& cpuSharesUs() const { return shares; }

 private:
  std::optional<std::vector<double>> cpuOfEach() const {
    std::vector<double> each = {processCpuSeconds()};
    for (pid_t pid : others) {
      const auto cpu = otherProcessCpuSeconds(pid);
      if (!cpu) return std::nullopt;
      each.push_back(*cpu);
    }
    return each;
  }
  std::vector<pid_t> others;
  std::optional<std::vector<double>> cpuStart;
  std::vector<double> shares;
  Clock::time_point wallStart;
};

void report(benchmark::State& state, const PerApdu& figures) {
  state.counters["wall_us"] = figures.wallUs;
  state.counters["cpu_us"] = figures.cpuUs;
}

// ---- the floor: a Unix-socket round trip against a server thread that answers at once ----

sockaddr_un socketAddress(const std::string& path) {
  sockaddr_un address{};
  address.sun_family = AF_UNIX;
  std::strncpy(address.sun_path, path.c_str(), sizeof(address.sun_path) - 1);
  return address;
}

bool readExactly(int fd, uint8_t* buffer, size_t size) {
  for (size_t done = 0; done < size;) {
    const ssize_t count = ::recv(fd, buffer + done, size - done, 0);
    if (count <= 0) return false;
    done += static_cast<size_t>(count);
  }
  return true;
}

bool writeAll(int fd, const uint8_t* buffer, size_t size) {
  return ::send(fd, buffer, size, MSG_NOSIGNAL) == static_cast<ssize_t>(size);
}

// Two listening sockets: one answers a request per connection as the card channel does, the other answers
// fixed-size requests on a connection kept open.
class FloorServer {
 public:
  FloorServer() {
    std::string pattern = (std::filesystem::temp_directory_path() / "kelvo-pcsc-bench-XXXXXX").string();
    root = ::mkdtemp(pattern.data());
    oneShotListener = listenOn(oneShotPath());
    keptOpenListener = listenOn(keptOpenPath());
    if (oneShotListener >= 0) threads.emplace_back([this] { serveOneShot(); });
    if (keptOpenListener >= 0) threads.emplace_back([this] { serveKeptOpen(); });
  }
  ~FloorServer() {
    stopping = true;
    ::shutdown(oneShotListener, SHUT_RDWR);
    ::shutdown(keptOpenListener, SHUT_RDWR);
    for (auto& thread : threads) thread.join();
    ::close(oneShotListener);
    ::close(keptOpenListener);
    std::error_code ignored;
    std::filesystem::remove_all(root, ignored);
  }
  bool isReady() const { return oneShotListener >= 0 && keptOpenListener >= 0; }
  std::string oneShotPath() const { return root + "/one-shot"; }
  std::string keptOpenPath() const { return root + "/kept-open"; }

 private:
  static int listenOn(const std::string& path) {
    const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    const sockaddr_un address = socketAddress(path);
    if (fd < 0 || ::bind(fd, reinterpret_cast<const sockaddr*>(&address), sizeof(address)) != 0 ||
        ::listen(fd, 16) != 0) {
      if (fd >= 0) ::close(fd);
      return -1;
    }
    return fd;
  }
  void serveOneShot() {
    while (!stopping) {
      const int client = ::accept4(oneShotListener, nullptr, nullptr, SOCK_CLOEXEC);
      if (client < 0) continue;
      uint8_t request[1025];
      while (::recv(client, request, sizeof(request), 0) > 0) {
      }
      const uint8_t answer[kFloorAnswer] = {0, 0x90, 0x00};
      writeAll(client, answer, sizeof(answer));
      ::close(client);
    }
  }
  void serveKeptOpen() {
    while (!stopping) {
      const int client = ::accept4(keptOpenListener, nullptr, nullptr, SOCK_CLOEXEC);
      if (client < 0) continue;
      uint8_t request[kFloorRequest];
      const uint8_t answer[kFloorAnswer] = {0, 0x90, 0x00};
      while (readExactly(client, request, sizeof(request)) && writeAll(client, answer, sizeof(answer))) {
      }
      ::close(client);
    }
  }

  std::string root;
  int oneShotListener = -1;
  int keptOpenListener = -1;
  std::atomic<bool> stopping{false};
  std::vector<std::thread> threads;
};

int connectTo(const std::string& path) {
  const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
  const sockaddr_un address = socketAddress(path);
  if (fd >= 0 && ::connect(fd, reinterpret_cast<const sockaddr*>(&address), sizeof(address)) == 0) return fd;
  if (fd >= 0) ::close(fd);
  return -1;
}

bool oneShotRoundTrip(const std::string& path) {
  const int fd = connectTo(path);
  if (fd < 0) return false;
  const uint8_t request[kFloorRequest] = {0x43};
  uint8_t answer[64];
  size_t received = 0;
  if (writeAll(fd, request, sizeof(request)) && ::shutdown(fd, SHUT_WR) == 0) {
    for (ssize_t count; (count = ::recv(fd, answer + received, sizeof(answer) - received, 0)) > 0;) {
      received += static_cast<size_t>(count);
    }
  }
  ::close(fd);
  return received == kFloorAnswer;
}

void SocketRoundTripFloor(benchmark::State& state) {
  FloorServer server;
  if (!server.isReady()) {
    state.SkipWithError("no Unix socket to listen on");
    return;
  }
  size_t failures = 0;
  LoopMeter meter;
  meter.start();
  for (auto _ : state) {
    if (!oneShotRoundTrip(server.oneShotPath())) ++failures;
  }
  const auto figures = meter.stop(state.iterations());
  if (failures != 0 || !figures) {
    state.SkipWithError("a round trip failed");
    return;
  }
  floorOneShot = figures;
  report(state, *figures);
}
BENCHMARK(SocketRoundTripFloor)->UseRealTime()->Unit(benchmark::kMicrosecond);

void SocketRoundTripKeptOpen(benchmark::State& state) {
  FloorServer server;
  const int fd = server.isReady() ? connectTo(server.keptOpenPath()) : -1;
  if (fd < 0) {
    state.SkipWithError("no Unix socket to talk to");
    return;
  }
  size_t failures = 0;
  const uint8_t request[kFloorRequest] = {0x43};
  uint8_t answer[kFloorAnswer];
  LoopMeter meter;
  meter.start();
  for (auto _ : state) {
    if (!writeAll(fd, request, sizeof(request)) || !readExactly(fd, answer, sizeof(answer))) ++failures;
  }
  const auto figures = meter.stop(state.iterations());
  ::close(fd);
  if (failures != 0 || !figures) {
    state.SkipWithError("a round trip failed");
    return;
  }
  report(state, *figures);
}
BENCHMARK(SocketRoundTripKeptOpen)->UseRealTime()->Unit(benchmark::kMicrosecond);

// ---- in process: the library's card path over the simulated radio ----

class AvailabilityLatch : public trevalon::DeviceObserver {
 public:
  void onAvailableChanged(bool value) override {
    std::lock_guard<std::mutex> guard(lock);
    available = value;
    changed.notify_all();
  }
  bool waitAvailable() {
    std::unique_lock<std::mutex> guard(lock);
    return changed.wait_for(guard, std::chrono::seconds(10), [&] { return available; });
  }
  void onBatteryLevelChanged(uint8_t) override {}
  void onUsbCableStatusChanged(uint8_t) override {}
  void onEncryptionChanged(uint8_t) override {}
  void onAdvertisingModeChanged(uint8_t) override {}
  void onBuzzerModeChanged(uint8_t) override {}
  void onSignalStrengthChanged(uint8_t) override {}
  void onBackLightChanged(uint8_t) override {}
  void onDisplayModeChanged(uint8_t) override {}
  void onRssiMinValueChanged(uint8_t) override {}
  void onConnectedChanged(bool) override {}
  void onPairedChanged(bool) override {}
  std::vector<uint8_t> onKeyRequested() override { throw std::runtime_error("no key"); }
  void onEvent(uint32_t) override {}

 private:
  std::mutex lock;
  std::condition_variable changed;
  bool available = false;
};

// The stack keeps its key and serial as settings: a throw-away store for the run.
void useTemporarySettings() {
  static const bool done = [] {
    std::string pattern = (std::filesystem::temp_directory_path() / "kelvo-pcsc-bench-XXXXXX").string();
    const std::string directory = ::mkdtemp(pattern.data());
    trevalon::local::Facade::instance().setSettings(std::make_shared<trevalon::local::FileSettings>(directory));
    trevalon::local::Facade::instance().setMachine(std::make_shared<trevalon::local::LinuxMachine>());
    return true;
  }();
  (void)done;
}

// The scenario's Kelvo reader with its PIV card, as kelvo-driver builds it, but in this process.
struct InProcessReader {
  std::shared_ptr<trevalon::sim::SimulatedRadio> radio = trevalon::sim::SimulatedRadio::create();
  std::shared_ptr<kelvo::simulator::KelvoReaderEmulator> emulator;
  std::shared_ptr<trevalon::sim::BLEReaderSim> native;
  std::shared_ptr<trevalon::Reader> reader;
  std::shared_ptr<AvailabilityLatch> latch = std::make_shared<AvailabilityLatch>();

  InProcessReader() {
    useTemporarySettings();
    kelvo::simulator::KelvoReaderConfig config;
    config.address = kAddress;
    config.generation = 2;
    config.cardAtr = kAtr;
    config.cardPiv = kelvo::simulator::PivConfig{};
    emulator = kelvo::simulator::KelvoReaderEmulator::create(config.withDefaults());
    radio->addPeripheral(emulator);
    radio->waitIdle();
    native = trevalon::sim::BLEReaderSim::create(radio, config.address, config.address, config.name);
    reader = trevalon::Reader::create(native);
    const std::shared_ptr<trevalon::Device> device = reader;
    if (device) device->addObserver(latch);
  }

  // The card once the reader is connected and offers it.
  std::shared_ptr<trevalon::Card> card() {
    if (!reader) return nullptr;
    native->connect();
    if (!latch->waitAvailable()) return nullptr;
    const auto deadline = Clock::now() + std::chrono::seconds(5);
    while (Clock::now() < deadline) {
      if (auto card = reader->getSlots().front()->getCard()) return card;
      std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    return nullptr;
  }
};

void InProcessApdu(benchmark::State& state) {
  InProcessReader bench;
  const std::shared_ptr<trevalon::Card> card = bench.card();
  if (!card || card->getAtr() != kAtr || !answeredOk(card->sendAPDU(kSelectPiv))) {
    state.SkipWithError("the in-process reader's card did not answer");
    return;
  }
  size_t failures = 0;
  LoopMeter meter;
  meter.start();
  for (auto _ : state) {
    if (!answeredOk(card->sendAPDU(kSelectPiv))) ++failures;
  }
  const auto figures = meter.stop(state.iterations());
  if (failures != 0 || !figures) {
    state.SkipWithError("an APDU failed");
    return;
  }
  inProcess = figures;
  report(state, *figures);
}
BENCHMARK(InProcessApdu)->MinTime(2.0)->UseRealTime()->Unit(benchmark::kMicrosecond);

// ---- kelvo-driver's card channel alone, as the handler uses it: splits the added cost between pcscd and the driver

std::optional<pid_t> driverPid() {
  const char* pidFile = std::getenv("KELVO_DRIVER_PIDFILE");
  return pidFile ? pidFromFile(pidFile) : std::nullopt;
}

// One request on a new connection, the way the handler makes it; the answer with its status byte first.
Bytes cardChannelRequest(const std::string& path, const Bytes& request) {
  const int fd = connectTo(path);
  if (fd < 0) return {};
  Bytes answer(1025);
  size_t received = 0;
  if (writeAll(fd, request.data(), request.size()) && ::shutdown(fd, SHUT_WR) == 0) {
    for (ssize_t count; (count = ::recv(fd, answer.data() + received, answer.size() - received, 0)) > 0;) {
      received += static_cast<size_t>(count);
    }
  }
  ::close(fd);
  answer.resize(received);
  return answer;
}

bool cardChannelTransmit(const std::string& path) {
  static const Bytes request = [] {
    Bytes transmit(kSelectPiv.size() + 1, 0x43);
    std::copy(kSelectPiv.begin(), kSelectPiv.end(), transmit.begin() + 1);
    return transmit;
  }();
  const Bytes answer = cardChannelRequest(path, request);
  return answer.size() >= 3 && answer[0] == 0 && answeredOk(answer);
}

void DriverCardChannelApdu(benchmark::State& state) {
  const char* runtime = std::getenv("TREVALON_RUNTIME_DIR");
  const auto driver = driverPid();
  if (::geteuid() != 0 || !runtime || !driver) {
    state.SkipWithError("skipped: needs root and scripts/with-pcscd (scripts/run-bench does both)");
    return;
  }
  const std::string path = std::string(runtime) + "/kelvo-card_" + kAddress;
  // pcscd powers an unused card down after a few seconds: power it up as the handler would for a connect.
  const Bytes atr = cardChannelRequest(path, {0x41});
  if (atr.empty() || atr[0] != 0 || !cardChannelTransmit(path)) {
    state.SkipWithError("the driver's card channel did not answer");
    return;
  }
  size_t failures = 0;
  LoopMeter meter({*driver});
  if (!meter.start()) {
    state.SkipWithError("the CPU time of kelvo-driver cannot be read");
    return;
  }
  for (auto _ : state) {
    if (!cardChannelTransmit(path)) ++failures;
  }
  const auto figures = meter.stop(state.iterations());
  if (failures != 0 || !figures) {
    state.SkipWithError("an APDU failed, or kelvo-driver ended during the loop");
    return;
  }
  report(state, *figures);
  state.counters["client_cpu_us"] = meter.cpuSharesUs().at(0);
  state.counters["driver_cpu_us"] = meter.cpuSharesUs().at(1);
}
BENCHMARK(DriverCardChannelApdu)->MinTime(3.0)->UseRealTime()->Unit(benchmark::kMicrosecond);

// ---- through pcscd, the IFD handler and kelvo-driver ----

std::string readerHoldingAddress(SCARDCONTEXT context) {
  DWORD size = 0;
  if (SCardListReaders(context, nullptr, nullptr, &size) != SCARD_S_SUCCESS || size == 0) return {};
  std::string names(size, '\0');
  if (SCardListReaders(context, nullptr, names.data(), &size) != SCARD_S_SUCCESS) return {};
  for (const char* name = names.c_str(); *name; name += std::strlen(name) + 1) {
    if (std::strstr(name, kAddress.c_str())) return name;
  }
  return {};
}

class PcscCard {
 public:
  PcscCard() {
    if (SCardEstablishContext(SCARD_SCOPE_SYSTEM, nullptr, nullptr, &context) != SCARD_S_SUCCESS) return;
    hasContext = true;
    // The reader is listed before its card's presence has reached pcscd: give the card a few polls.
    const auto deadline = Clock::now() + std::chrono::seconds(5);
    while (Clock::now() < deadline && !connected) {
      const std::string reader = readerHoldingAddress(context);
      DWORD protocol = 0;
      if (!reader.empty() && SCardConnect(context, reader.c_str(), SCARD_SHARE_SHARED,
                                          SCARD_PROTOCOL_T0 | SCARD_PROTOCOL_T1, &card, &protocol) == SCARD_S_SUCCESS) {
        connected = true;
        sendPci = protocol == SCARD_PROTOCOL_T0 ? SCARD_PCI_T0 : SCARD_PCI_T1;
        break;
      }
      std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
  }
  ~PcscCard() {
    if (connected) SCardDisconnect(card, SCARD_LEAVE_CARD);
    if (hasContext) SCardReleaseContext(context);
  }
  bool isConnected() const { return connected; }
  Bytes transmit(const Bytes& apdu) {
    BYTE answer[MAX_BUFFER_SIZE_EXTENDED];
    DWORD size = sizeof(answer);
    if (SCardTransmit(card, sendPci, apdu.data(), static_cast<DWORD>(apdu.size()), nullptr, answer, &size) !=
        SCARD_S_SUCCESS) {
      return {};
    }
    return Bytes(answer, answer + size);
  }

 private:
  SCARDCONTEXT context = 0;
  SCARDHANDLE card = 0;
  bool hasContext = false;
  bool connected = false;
  const SCARD_IO_REQUEST* sendPci = SCARD_PCI_T1;
};

// Ratio of an added cost to the floor; 0 when the floor is unknown.
double toFloor(double added, double floor) { return floor > 0 ? added / floor : 0; }

void PcscdApdu(benchmark::State& state) {
  const char* pcscdState = std::getenv("KELVO_PCSCD_STATE");
  if (::geteuid() != 0 || !pcscdState || !std::getenv("KELVO_DRIVER_PIDFILE") || !std::getenv("PCSCLITE_CSOCK_NAME")) {
    state.SkipWithError("skipped: needs root and scripts/with-pcscd (scripts/run-bench does both)");
    return;
  }
  const auto pcscd = pidFromFile(std::string(pcscdState) + "/pcscd.pid");
  const auto driver = driverPid();
  if (!pcscd || !driver) {
    state.SkipWithError("no pid of pcscd or kelvo-driver under with-pcscd");
    return;
  }
  PcscCard card;
  if (!card.isConnected() || !answeredOk(card.transmit(kSelectPiv))) {
    const std::string message = "no card in the reader " + kAddress + " through pcscd";
    state.SkipWithError(message.c_str());
    return;
  }
  size_t failures = 0;
  LoopMeter meter({*pcscd, *driver});
  if (!meter.start()) {
    state.SkipWithError("the CPU time of pcscd or kelvo-driver cannot be read");
    return;
  }
  for (auto _ : state) {
    if (!answeredOk(card.transmit(kSelectPiv))) ++failures;
  }
  const auto figures = meter.stop(state.iterations());
  if (failures != 0 || !figures) {
    state.SkipWithError("an APDU failed, or pcscd or kelvo-driver ended during the loop");
    return;
  }
  report(state, *figures);
  state.counters["client_cpu_us"] = meter.cpuSharesUs().at(0);
  state.counters["pcscd_cpu_us"] = meter.cpuSharesUs().at(1);
  state.counters["driver_cpu_us"] = meter.cpuSharesUs().at(2);
  if (!floorOneShot || !inProcess) {
    state.SetLabel("run the floor and the in-process benchmark in the same run for the comparison");
    return;
  }
  // The emulator answers on both paths: what is left after subtracting the in-process figures is what PC/SC adds.
  const double addedWall = figures->wallUs - inProcess->wallUs;
  const double addedCpu = figures->cpuUs - inProcess->cpuUs;
  const double wallRatio = toFloor(addedWall, floorOneShot->wallUs);
  const double cpuRatio = toFloor(addedCpu, floorOneShot->cpuUs);
  state.counters["added_wall_us"] = addedWall;
  state.counters["added_cpu_us"] = addedCpu;
  state.counters["added_wall_floors"] = wallRatio;
  state.counters["added_cpu_floors"] = cpuRatio;
  const bool holds = wallRatio <= 3.0 && cpuRatio <= 3.0;
  state.SetLabel(holds ? "target holds: added cost <= 3 socket round trips"
                       : "target missed: added cost > 3 socket round trips");
}
// pcscd's and kelvo-driver's CPU comes in clock ticks (10 ms): a loop of seconds keeps that error near 1 %.
BENCHMARK(PcscdApdu)->MinTime(3.0)->UseRealTime()->Unit(benchmark::kMicrosecond);

}  // namespace
