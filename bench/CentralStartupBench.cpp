// SPDX-License-Identifier: Apache-2.0
// Kelvo Central as a user meets it: the time from starting the process until its main window is mapped on the
// display, the resident memory of the running program with no reader, and what the tutorial costs: memory before it
// opens (its web engine not even loaded), while it is open and after it is closed. Runs the real program on a
// private Xvfb display with a tray host and a private session bus, which the benchmark starts itself. The user here
// has switched the tutorial off at start, so the first two figures are the program's own.

#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <dirent.h>
#include <chrono>
#include <cstdlib>

#include <filesystem>
#include <fstream>
#include <sstream>
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

// Waits for the main window to be mapped; false after the deadline. `shown` receives the window.
bool waitForMainWindow(Display* display, Clock::time_point deadline, Window* shown = nullptr) {
  while (Clock::now() < deadline) {
    while (XPending(display) > 0) {
      XEvent event;
      XNextEvent(display, &event);
      if (event.type == MapNotify && isMainWindow(display, event.xmap.window)) {
        if (shown != nullptr) *shown = event.xmap.window;
        return true;
      }
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

// The user's settings for the program's runs: the tutorial at start on or off.
void writeSettings(bool tutorialAtStart) {
  const std::filesystem::path folder =
      std::filesystem::path(bench::BenchDesktop::instance().root()) / "config" / "trevalon GmbH";
  std::filesystem::create_directories(folder);
  std::ofstream(folder / "Kelvo Central.conf")
      << "[General]\ntutorialOnStarup=" << (tutorialAtStart ? "true" : "false") << "\n";
}

// The processes the program started (the web engine's renderer and helpers), and theirs.
std::vector<pid_t> descendantsOf(pid_t parent) {
  std::vector<pid_t> found;
  DIR* proc = ::opendir("/proc");
  if (proc == nullptr) return found;
  while (dirent* entry = ::readdir(proc)) {
    const pid_t pid = static_cast<pid_t>(std::atoi(entry->d_name));
    if (pid <= 0) continue;
    std::ifstream stat("/proc/" + std::to_string(pid) + "/stat");
    std::string line;
    std::getline(stat, line);
    const size_t end = line.rfind(')');
    if (end == std::string::npos) continue;
    std::istringstream fields(line.substr(end + 2));
    char state = 0;
    pid_t ppid = 0;
    fields >> state >> ppid;
    if (ppid != parent) continue;
    found.push_back(pid);
    for (const pid_t child : descendantsOf(pid)) found.push_back(child);
  }
  ::closedir(proc);
  return found;
}

long helpersResidentKiB(pid_t app) {
  long total = 0;
  for (const pid_t helper : descendantsOf(app)) total += std::max(0L, residentKiB(helper));
  return total;
}

bool webEngineLoaded(pid_t pid) {
  std::ifstream maps("/proc/" + std::to_string(pid) + "/maps");
  std::string line;
  while (std::getline(maps, line)) {
    if (line.find("libQt5WebEngineCore") != std::string::npos) return true;
  }
  return false;
}

// xdotool's input to the program's window, waited for.
void xdotool(std::vector<std::string> arguments) {
  arguments.insert(arguments.begin(), "xdotool");
  const pid_t tool = spawn(arguments);
  int status = 0;
  ::waitpid(tool, &status, 0);
}

void BM_StartToMainWindowShown(benchmark::State& state) {
  DisplayWatch& desktop = DisplayWatch::instance();
  writeSettings(false);
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
  writeSettings(false);
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

// The tutorial opened with the logo and closed with its own Close on the last slide (positions in the 982 x 688
// window). Resident memory of the program alone and of the helper processes the web engine starts; the floor is the
// idle program before the tutorial, so the figures are also given as ratios to it.
void BM_TutorialResidentMemory(benchmark::State& state) {
  constexpr int kLogo[] = {58, 48};
  constexpr int kClose[] = {545, 443};
  DisplayWatch& desktop = DisplayWatch::instance();
  writeSettings(false);
  for (auto _ : state) {
    drainEvents(desktop.display());
    const pid_t app = spawn({KELVO_CENTRAL_PATH});
    Window window = 0;
    const bool shown = waitForMainWindow(desktop.display(), Clock::now() + std::chrono::seconds(30), &window);
    std::this_thread::sleep_for(std::chrono::seconds(2));
    const long idle = residentKiB(app);
    const bool loadedBefore = webEngineLoaded(app);

    const std::string id = std::to_string(window);
    xdotool({"mousemove", "--window", id, std::to_string(kLogo[0]), std::to_string(kLogo[1]), "click", "1"});
    std::this_thread::sleep_for(std::chrono::seconds(6));
    const long open = residentKiB(app);
    const long helpers = helpersResidentKiB(app);
    const bool loadedWhileOpen = webEngineLoaded(app);

    for (int slide = 0; slide < 8; ++slide) xdotool({"key", "Right"});
    xdotool({"mousemove", "--window", id, std::to_string(kClose[0]), std::to_string(kClose[1]), "click", "1"});
    std::this_thread::sleep_for(std::chrono::seconds(3));
    const long closed = residentKiB(app);
    const long closedHelpers = helpersResidentKiB(app);
    stop(app);
    if (!shown || idle <= 0 || open <= 0 || closed <= 0 || !loadedWhileOpen) {
      state.SkipWithError("the program or its tutorial did not come up");
      break;
    }
    state.counters["idle_MiB"] = static_cast<double>(idle) / 1024.0;
    state.counters["open_MiB"] = static_cast<double>(open) / 1024.0;
    state.counters["open_helpers_MiB"] = static_cast<double>(helpers) / 1024.0;
    state.counters["closed_MiB"] = static_cast<double>(closed) / 1024.0;
    state.counters["closed_helpers_MiB"] = static_cast<double>(closedHelpers) / 1024.0;
    state.counters["open_per_idle"] = static_cast<double>(open) / static_cast<double>(idle);
    state.counters["closed_per_idle"] = static_cast<double>(closed) / static_cast<double>(idle);
    state.counters["engine_loaded_before_open"] = loadedBefore ? 1 : 0;
  }
}
BENCHMARK(BM_TutorialResidentMemory)->Iterations(1)->Unit(benchmark::kMillisecond);

}  // namespace
