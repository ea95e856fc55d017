// SPDX-License-Identifier: Apache-2.0
#pragma once
// kelvo-driver as its own process on a scenario file, with a runtime, data and settings directory of the test's
// and a control FIFO through which the test moves the emulated readers.

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <string>
#include <thread>
#include <vector>

#include "TempDirectory.h"

extern char** environ;

namespace kelvo::test {

class DriverProcess {
 public:
  explicit DriverProcess(const std::string& scenarioFile, bool logging = false)
      : runtime(files.file("run")), data(files.file("data")), control(files.file("control")) {
    ::mkdir(data.c_str(), 0755);
    if (logging) ::close(::open((data + "/logging").c_str(), O_CREAT | O_WRONLY, 0644));
    std::vector<std::string> environment = {"TREVALON_RUNTIME_DIR=" + runtime, "TREVALON_DATA_DIR=" + data,
                                            "TREVALON_SETTINGS_DIR=" + files.file("settings"),
                                            "KELVO_SIM_CONTROL=" + control};
    for (char** entry = environ; *entry != nullptr; ++entry) {
      const std::string variable(*entry);
      if (variable.rfind("TREVALON_", 0) != 0 && variable.rfind("KELVO_", 0) != 0) environment.push_back(variable);
    }
    std::vector<std::string> arguments = {KELVO_DRIVER_PATH, "--scenario", scenarioFile, "--poll-interval", "100"};
    std::vector<char*> argv;
    for (std::string& argument : arguments) argv.push_back(argument.data());
    argv.push_back(nullptr);
    std::vector<char*> envp;
    for (std::string& variable : environment) envp.push_back(variable.data());
    envp.push_back(nullptr);
    if (::posix_spawn(&pid, KELVO_DRIVER_PATH, nullptr, nullptr, argv.data(), envp.data()) != 0) pid = -1;
  }

  ~DriverProcess() {
    if (pid > 0) stop();
  }
  DriverProcess(const DriverProcess&) = delete;
  DriverProcess& operator=(const DriverProcess&) = delete;

  bool isRunning() const { return pid > 0 && ::kill(pid, 0) == 0; }

  // SIGTERM, then the exit status (-1 when it did not end on its own within ten seconds).
  int stop() {
    if (pid <= 0) return -1;
    ::kill(pid, SIGTERM);
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    int status = 0;
    while (::waitpid(pid, &status, WNOHANG) == 0) {
      if (std::chrono::steady_clock::now() > deadline) {
        ::kill(pid, SIGKILL);
        ::waitpid(pid, &status, 0);
        pid = -1;
        return -1;
      }
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    pid = -1;
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  }

  // One command to the emulated world, e.g. "remove-reader 001a7dda8224".
  bool command(const std::string& line) {
    const int fd = ::open(control.c_str(), O_WRONLY | O_NONBLOCK);
    if (fd < 0) return false;
    const std::string text = line + "\n";
    const bool written = ::write(fd, text.data(), text.size()) == static_cast<ssize_t>(text.size());
    ::close(fd);
    return written;
  }

  std::string socketOf(const std::string& address) const { return runtime + "/omnivex#ipc#ver6#kelvo_" + address; }

  TempDirectory files;
  const std::string runtime;
  const std::string data;
  const std::string control;

 private:
  pid_t pid = -1;
};

}  // namespace kelvo::test
