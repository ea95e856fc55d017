// Kelvo Central as a user meets it: the time from starting the process until its main window is mapped on the
// display, and the resident memory of the running program with no reader. Runs the real program on a private
// Xvfb display with a tray host and a private session bus, which the benchmark starts itself.

#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <fstream>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "BenchDesktop.h"

namespace {

using bench::spawn;
using bench::stop;

using Clock = std::chrono::steady_clock;

// The shared desktop and a connection to its display that hears of every window mapped on it.
class DisplayWatch {
 public:
  static DisplayWatch& instance() {
    static DisplayWatch watch;
    return watch;
  }
  Display* display() const { return connection; }

 private:
  DisplayWatch() {
    bench::BenchDesktop::instance();
    connection = XOpenDisplay(nullptr);
    if (connection == nullptr) throw std::runtime_error("cannot open the Xvfb display");
    XSelectInput(connection, DefaultRootWindow(connection), SubstructureNotifyMask);
  }
  ~DisplayWatch() { XCloseDisplay(connection); }

  Display* connection = nullptr;
};

bool isMainWindow(Display* display, Window window) {
  char* name = nullptr;
  if (XFetchName(display, window, &name) == 0 || name == nullptr) return false;
  const bool match = std::string(name) == "Kelvo Central";
  XFree(name);
  return match;
}

// Waits for the main window to be mapped; false after the deadline.
bool waitForMainWindow(Display* display, Clock::time_point deadline) {
  while (Clock::now() < deadline) {
    while (XPending(display) > 0) {
      XEvent event;
      XNextEvent(display, &event);
      if (event.type == MapNotify && isMainWindow(display, event.xmap.window)) return true;
    }
    pollfd descriptor{ConnectionNumber(display), POLLIN, 0};
    ::poll(&descriptor, 1, 50);
  }
  return false;
}

void drainEvents(Display* display) {
  XSync(display, False);
  while (XPending(display) > 0) {
    XEvent event;
    XNextEvent(display, &event);
  }
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

void BM_StartToMainWindowShown(benchmark::State& state) {
  DisplayWatch& desktop = DisplayWatch::instance();
  for (auto _ : state) {
    drainEvents(desktop.display());
    const Clock::time_point start = Clock::now();
    const pid_t app = spawn({KELVO_CENTRAL_PATH});
    const bool shown = waitForMainWindow(desktop.display(), start + std::chrono::seconds(30));
    const Clock::time_point end = Clock::now();
    stop(app);
    if (!shown) {
      state.SkipWithError("the main window did not appear");
      break;
    }
    state.SetIterationTime(std::chrono::duration<double>(end - start).count());
  }
}
BENCHMARK(BM_StartToMainWindowShown)->UseManualTime()->Iterations(5)->Unit(benchmark::kMillisecond);

void BM_IdleResidentMemory(benchmark::State& state) {
  DisplayWatch& desktop = DisplayWatch::instance();
  for (auto _ : state) {
    drainEvents(desktop.display());
    const pid_t app = spawn({KELVO_CENTRAL_PATH});
    const bool shown = waitForMainWindow(desktop.display(), Clock::now() + std::chrono::seconds(30));
    std::this_thread::sleep_for(std::chrono::seconds(2));
    const long kib = residentKiB(app);
    stop(app);
    if (!shown || kib < 0) {
      state.SkipWithError("the program did not come up");
      break;
    }
    state.counters["resident_MiB"] = static_cast<double>(kib) / 1024.0;
  }
}
BENCHMARK(BM_IdleResidentMemory)->Iterations(1)->Unit(benchmark::kMillisecond);

}  // namespace
