// SPDX-License-Identifier: Apache-2.0
// Kelvo Central idle with emulated readers: the CPU share and resident memory of the real program while it polls
// 1 or 8 readers every 2 s and nobody touches it. The readers are on the program's own simulated radio, so their
// emulators' work is counted too (a real reader's costs nothing on the workstation). Runs the program on a private
// Xvfb display with a tray host and a private session bus, which the benchmark starts itself.

#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "BenchDesktop.h"

namespace {

using bench::makeDirectory;
using bench::spawn;
using bench::stop;

using Clock = std::chrono::steady_clock;

constexpr auto kMeasuredIdle = std::chrono::seconds(20);
constexpr auto kStartupLimit = std::chrono::seconds(60);

// The shared desktop, with the run-time folders of this benchmark: no driver runs, every reader is the program's
// own on its simulated radio.
bench::BenchDesktop& prepareDesktop() {
  bench::BenchDesktop& desktop = bench::BenchDesktop::instance();
  ::mkdir((desktop.root() + "/run").c_str(), 0700);
  ::setenv("TREVALON_RUNTIME_DIR", (desktop.root() + "/run").c_str(), 1);
  ::setenv("KELVO_BLE_BACKEND", "sim", 1);
  return desktop;
}

// A scenario of `count` first-generation readers, each with a card in.
std::string writeScenario(const std::string& directory, int count) {
  std::string path = directory + "/readers-" + std::to_string(count) + ".json";
  std::ofstream file(path);
  file << "{ \"devices\": [";
  for (int i = 0; i < count; ++i) {
    const char* const digits = "0123456789abcdef";
    const std::string address = std::string("001a7dda71") + digits[(i >> 4) & 0xF] + digits[i & 0xF];
    file << (i == 0 ? "" : ",") << "{ \"family\": \"kelvo\", \"address\": \"" << address
         << "\", \"generation\": 1, \"service\": \"6803\", \"descriptor\": { \"Serial\": \"51234567" << 10 + i
         << "\" }, \"battery\": 80, \"usb\": 0, \"card\": { \"atr\": \"3B8180018080\" } }";
  }
  file << "] }\n";
  return path;
}

// The log file with its rotated generations, so that a rotation during the measurement does not hide growth.
double logBytes(const std::string& path) {
  double total = 0;
  for (const std::string& file : {path, path + ".1", path + ".2", path + ".3"}) {
    struct stat status {};
    if (::stat(file.c_str(), &status) == 0) total += static_cast<double>(status.st_size);
  }
  return total;
}

int linesWith(const std::string& path, const std::string& text) {
  std::ifstream file(path);
  std::string line;
  int found = 0;
  while (std::getline(file, line)) found += line.find(text) != std::string::npos ? 1 : 0;
  return found;
}

// CPU time of all the process's threads so far, in nanoseconds (the scheduler's own account, finer than the
// clock ticks of /proc/PID/stat). Threads that ended before the call are not counted, which leaves out only
// start-up work here.
double cpuNanoseconds(pid_t pid) {
  const std::string tasks = "/proc/" + std::to_string(pid) + "/task";
  double total = 0;
  for (const auto& task : std::filesystem::directory_iterator(tasks)) {
    std::ifstream schedstat(task.path() / "schedstat");
    double onCpu = 0;
    if (schedstat >> onCpu) total += onCpu;
  }
  return total;
}

long residentKiB(pid_t pid) {
  std::ifstream status("/proc/" + std::to_string(pid) + "/status");
  std::string key;
  while (status >> key) {
    if (key == "VmRSS:") {
      long value = 0;
      status >> value;
      return value;
    }
    status.ignore(1 << 16, '\n');
  }
  return -1;
}

void BM_IdleWithReaders(benchmark::State& state) {
  bench::BenchDesktop& desktop = prepareDesktop();
  const int readers = static_cast<int>(state.range(0));
  for (auto _ : state) {
    const std::string run = makeDirectory(desktop.root() + "/run-XXXXXX");
    ::setenv("XDG_STATE_HOME", run.c_str(), 1);
    ::setenv("KELVO_SIM_SCENARIO", writeScenario(run, readers).c_str(), 1);
    const std::string log = run + "/kelvo-central/central.log";
    const pid_t app = spawn({KELVO_CENTRAL_PATH, "-hidden"});
    const Clock::time_point deadline = Clock::now() + kStartupLimit;
    while (linesWith(log, "Initialized device") < readers && Clock::now() < deadline) {
      std::this_thread::sleep_for(std::chrono::milliseconds(200));
    }
    if (linesWith(log, "Initialized device") < readers) {
      stop(app);
      state.SkipWithError("the readers were not initialised");
      break;
    }
    // Past the start-up work (descriptors, first states, daily timers), only the polling is left.
    std::this_thread::sleep_for(std::chrono::seconds(3));
    const double cpuBefore = cpuNanoseconds(app);
    const double logBefore = logBytes(log);
    const Clock::time_point start = Clock::now();
    std::this_thread::sleep_for(kMeasuredIdle);
    const double seconds = std::chrono::duration<double>(Clock::now() - start).count();
    const double cpu = cpuNanoseconds(app) - cpuBefore;
    const double logGrowth = logBytes(log) - logBefore;
    const long kib = residentKiB(app);
    stop(app);
    state.SetIterationTime(seconds);
    state.counters["cpu_percent"] = 100.0 * cpu / 1e9 / seconds;
    state.counters["resident_MiB"] = static_cast<double>(kib) / 1024.0;
    // The log while the readers are only polled, scaled to ten minutes (the budget is 200 KB for 8 readers).
    state.counters["log_KB_per_10_min"] = logGrowth / seconds * 600.0 / 1000.0;
  }
}
BENCHMARK(BM_IdleWithReaders)->Arg(1)->Arg(8)->UseManualTime()->Iterations(1)->Unit(benchmark::kSecond);

}  // namespace
