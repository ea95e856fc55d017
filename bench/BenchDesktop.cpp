// SPDX-License-Identifier: Apache-2.0
#include "BenchDesktop.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <stdexcept>
#include <thread>

namespace bench {
namespace {

std::string readLine(int fd) {
  std::string line;
  char c;
  while (::read(fd, &c, 1) == 1 && c != '\n') line += c;
  return line;
}

// Runs a program that prints one line on a pipe it is told of (Xvfb's display number, the bus address).
std::string startAndReadLine(std::vector<std::string> command, const std::string& fdOption, pid_t& pid) {
  int channel[2];
  if (::pipe(channel) != 0) throw std::runtime_error("pipe failed");
  command.push_back(fdOption + std::to_string(channel[1]));
  pid = spawn(command, channel[1]);
  ::close(channel[1]);
  std::string line = readLine(channel[0]);
  ::close(channel[0]);
  return line;
}

}  // namespace

pid_t spawn(const std::vector<std::string>& command, int keepFd) {
  const pid_t pid = ::fork();
  if (pid == 0) {
    // Quiet by default; a pipe the program reports on stays open across exec.
    const int null = ::open("/dev/null", O_WRONLY);
    if (keepFd != 1) ::dup2(null, 1);
    if (keepFd != 2) ::dup2(null, 2);
    std::vector<char*> argv;
    argv.reserve(command.size() + 1);
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

std::string makeDirectory(const std::string& pattern) {
  std::string path = pattern;
  if (::mkdtemp(path.data()) == nullptr) throw std::runtime_error("mkdtemp failed");
  return path;
}

BenchDesktop& BenchDesktop::instance() {
  static BenchDesktop desktop;
  return desktop;
}

BenchDesktop::BenchDesktop() {
  const std::string display =
      startAndReadLine({"Xvfb", "-screen", "0", "1280x800x24", "-nolisten", "tcp", "-displayfd"}, "", xvfb);
  ::setenv("DISPLAY", (":" + display).c_str(), 1);
  const std::string address = startAndReadLine({"dbus-daemon", "--session", "--nofork"}, "--print-address=", bus);
  ::setenv("DBUS_SESSION_BUS_ADDRESS", address.c_str(), 1);

  directory = makeDirectory("/tmp/kelvo-bench-XXXXXX");
  ::mkdir((directory + "/runtime").c_str(), 0700);
  ::setenv("XDG_RUNTIME_DIR", (directory + "/runtime").c_str(), 1);
  ::setenv("XDG_CONFIG_HOME", (directory + "/config").c_str(), 1);
  ::setenv("XDG_STATE_HOME", (directory + "/state").c_str(), 1);
  ::setenv("TREVALON_DATA_DIR", (directory + "/data").c_str(), 1);
  ::unsetenv("QT_QPA_PLATFORM");

  tray = spawn({"trayer", "--edge", "top", "--align", "right", "--width", "10", "--height", "24"});
  // Give the tray host time to claim the tray selection; the program refuses to start without one.
  std::this_thread::sleep_for(std::chrono::milliseconds(1000));
}

BenchDesktop::~BenchDesktop() {
  stop(tray);
  stop(bus);
  stop(xvfb);
}

}  // namespace bench
