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

namespace {

using Clock = std::chrono::steady_clock;

pid_t spawn(const std::vector<std::string>& command, int keepFd = -1) {
  const pid_t pid = ::fork();
  if (pid == 0) {
    if (keepFd < 0) {
      const int null = ::open("/dev/null", O_WRONLY);
      ::dup2(null, 1);
      ::dup2(null, 2);
    }
    std::vector<char*> argv;
    for (const std::string& part : command) argv.push_back(const_cast<char*>(part.c_str()));
    argv.push_back(nullptr);
    ::execvp(argv[0], argv.data());
    ::_exit(127);
  }
  return pid;
}

void stop(pid_t pid) {
  if (pid <= 0) return;
  ::kill(pid, SIGTERM);
  int status = 0;
  ::waitpid(pid, &status, 0);
}

std::string readLine(int fd) {
  std::string line;
  char c;
  while (::read(fd, &c, 1) == 1 && c != '\n') line += c;
  return line;
}

std::string makeDirectory(const std::string& pattern) {
  std::string path = pattern;
  if (::mkdtemp(path.data()) == nullptr) throw std::runtime_error("mkdtemp failed");
  return path;
}

// Xvfb, trayer and a session bus, shared by every benchmark of this program.
class Desktop {
 public:
  static Desktop& instance() {
    static Desktop desktop;
    return desktop;
  }

  Display* display() const { return connection; }

 private:
  Desktop() {
    int displayPipe[2];
    if (::pipe(displayPipe) != 0) throw std::runtime_error("pipe failed");
    xvfb = spawn({"Xvfb", "-displayfd", std::to_string(displayPipe[1]), "-screen", "0", "1280x800x24", "-nolisten",
                  "tcp"});
    ::close(displayPipe[1]);
    const std::string number = readLine(displayPipe[0]);
    ::close(displayPipe[0]);
    ::setenv("DISPLAY", (":" + number).c_str(), 1);

    int busPipe[2];
    if (::pipe(busPipe) != 0) throw std::runtime_error("pipe failed");
    bus = spawn({"dbus-daemon", "--session", "--nofork", "--print-address=" + std::to_string(busPipe[1])}, busPipe[1]);
    ::close(busPipe[1]);
    ::setenv("DBUS_SESSION_BUS_ADDRESS", readLine(busPipe[0]).c_str(), 1);
    ::close(busPipe[0]);

    const std::string root = makeDirectory("/tmp/kelvo-bench-XXXXXX");
    ::mkdir((root + "/runtime").c_str(), 0700);
    ::setenv("XDG_RUNTIME_DIR", (root + "/runtime").c_str(), 1);
    ::setenv("XDG_CONFIG_HOME", (root + "/config").c_str(), 1);
    ::setenv("XDG_STATE_HOME", (root + "/state").c_str(), 1);
    ::setenv("TREVALON_DATA_DIR", (root + "/data").c_str(), 1);
    ::unsetenv("QT_QPA_PLATFORM");

    tray = spawn({"trayer", "--edge", "top", "--align", "right", "--width", "10", "--height", "24"});
    connection = XOpenDisplay(nullptr);
    if (connection == nullptr) throw std::runtime_error("cannot open the Xvfb display");
    // Give the tray host time to claim the tray selection; the program refuses to start without one.
    std::this_thread::sleep_for(std::chrono::milliseconds(1000));
    XSelectInput(connection, DefaultRootWindow(connection), SubstructureNotifyMask);
  }

  ~Desktop() {
    if (connection != nullptr) XCloseDisplay(connection);
    stop(tray);
    stop(bus);
    stop(xvfb);
  }

  pid_t xvfb = -1;
  pid_t bus = -1;
  pid_t tray = -1;
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
  Desktop& desktop = Desktop::instance();
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
  Desktop& desktop = Desktop::instance();
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
