// SPDX-License-Identifier: Apache-2.0
// GetDeviceState through kelvo-driver, as the application asks for it every two seconds per reader: one request
// per connection to the reader's socket. The driver runs as its own process on a scenario of 1 or 8 emulated
// readers; 1 client asks one reader, 8 clients ask 8 readers at once (each its own). Wall time per request is
// the latency a client sees; items per second is the driver's request rate over all clients.

#include <benchmark/benchmark.h>
#include <signal.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

extern char** environ;

namespace {

std::string addressOf(int index) {
  char text[16];
  std::snprintf(text, sizeof(text), "001a7dda%04x", static_cast<unsigned>(0x1000 + (index & 0xFFF)));
  return text;
}

class DriverRun {
 public:
  explicit DriverRun(int readers) {
    std::string pattern = (std::filesystem::temp_directory_path() / "kelvo-driver-bench-XXXXXX").string();
    root = ::mkdtemp(pattern.data());
    std::ofstream scenario(root + "/bench.json");
    scenario << "{ \"devices\": [";
    for (int i = 0; i < readers; ++i) {
      scenario << (i ? "," : "") << R"({ "family": "kelvo", "generation": 1, "service": "6803", "address": ")"
               << addressOf(i) << R"(", "name": "Kelvo 51234567)" << 10 + i
               << R"(", "descriptor": { "Serial": "51234567)" << 10 + i
               << R"(" }, "battery": 80, "card": { "atr": "3B8180018080" } })";
    }
    scenario << "] }";
    scenario.close();
    std::vector<std::string> environment = {"TREVALON_RUNTIME_DIR=" + root + "/run", "TREVALON_DATA_DIR=" + root,
                                            "TREVALON_SETTINGS_DIR=" + root + "/settings"};
    for (char** entry = environ; *entry; ++entry) {
      if (std::strncmp(*entry, "TREVALON_", 9) != 0 && std::strncmp(*entry, "KELVO_", 6) != 0) {
        environment.push_back(*entry);
      }
    }
    std::vector<std::string> arguments = {KELVO_DRIVER_PATH, "--scenario", root + "/bench.json"};
    std::vector<char*> argv, envp;
    for (auto& argument : arguments) argv.push_back(argument.data());
    for (auto& variable : environment) envp.push_back(variable.data());
    argv.push_back(nullptr);
    envp.push_back(nullptr);
    if (::posix_spawn(&pid, KELVO_DRIVER_PATH, nullptr, nullptr, argv.data(), envp.data()) != 0) pid = -1;
    for (int i = 0; i < readers; ++i) ready = ready && waitConnected(socketOf(i));
  }

  ~DriverRun() {
    if (pid > 0) {
      ::kill(pid, SIGTERM);
      ::waitpid(pid, nullptr, 0);
    }
    std::error_code ignored;
    std::filesystem::remove_all(root, ignored);
  }

  std::string socketOf(int index) const { return root + "/run/omnivex#ipc#ver6#kelvo_" + addressOf(index); }
  bool isReady() const { return pid > 0 && ready; }

  // One GetDeviceState; the answer's size (45 for status and record), or 0.
  static size_t getDeviceState(const std::string& path) {
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    std::strncpy(address.sun_path, path.c_str(), sizeof(address.sun_path) - 1);
    const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    size_t received = 0;
    const uint8_t request = 2;
    if (::connect(fd, reinterpret_cast<const sockaddr*>(&address), sizeof(address)) == 0 &&
        ::send(fd, &request, 1, MSG_NOSIGNAL) == 1 && ::shutdown(fd, SHUT_WR) == 0) {
      uint8_t answer[1025];
      for (ssize_t count; (count = ::recv(fd, answer + received, sizeof(answer) - received, 0)) > 0;) {
        received += static_cast<size_t>(count);
      }
      if (received != 45 || answer[0] != 0) received = 0;
    }
    ::close(fd);
    return received;
  }

 private:
  bool waitConnected(const std::string& path) {
    for (int attempt = 0; attempt < 400; ++attempt) {
      if (getDeviceState(path) == 45) return true;
      std::this_thread::sleep_for(std::chrono::milliseconds(25));
    }
    return false;
  }

  std::string root;
  pid_t pid = -1;
  bool ready = true;
};

DriverRun& driverWith(int readers) {
  static std::mutex lock;
  static std::map<int, std::unique_ptr<DriverRun>> runs;
  std::lock_guard<std::mutex> guard(lock);
  std::unique_ptr<DriverRun>& run = runs[readers];
  if (!run) run = std::make_unique<DriverRun>(readers);
  return *run;
}

void BM_DriverGetDeviceState(benchmark::State& state) {
  const int readers = static_cast<int>(state.range(0));
  DriverRun& driver = driverWith(readers);
  if (!driver.isReady()) {
    state.SkipWithError("kelvo-driver did not serve every reader");
    return;
  }
  const std::string path = driver.socketOf(state.thread_index() % readers);
  size_t failures = 0;
  std::chrono::nanoseconds waited{0};
  for (auto _ : state) {
    const auto start = std::chrono::steady_clock::now();
    if (DriverRun::getDeviceState(path) != 45) ++failures;
    waited += std::chrono::steady_clock::now() - start;
  }
  if (failures != 0) state.SkipWithError("a request failed");
  state.SetItemsProcessed(static_cast<int64_t>(state.iterations()));
  // With several clients the time column is wall time over all their requests; this is what one client waits.
  const double latencyUs = std::chrono::duration<double, std::micro>(waited).count() /
                           static_cast<double>(std::max<benchmark::IterationCount>(state.iterations(), 1));
  state.counters["latency_us"] = benchmark::Counter(latencyUs, benchmark::Counter::kAvgThreads);
  state.counters["readers"] = benchmark::Counter(readers, benchmark::Counter::kAvgThreads);
}

BENCHMARK(BM_DriverGetDeviceState)->Arg(1)->Threads(1)->UseRealTime();
BENCHMARK(BM_DriverGetDeviceState)->Arg(8)->Threads(1)->UseRealTime();
BENCHMARK(BM_DriverGetDeviceState)->Arg(8)->Threads(8)->UseRealTime();

}  // namespace
