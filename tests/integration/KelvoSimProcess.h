// SPDX-License-Identifier: Apache-2.0
#pragma once
// kelvo-sim run as a child process on a given bus, with its control commands on a pipe: start() returns once
// it says "ready", command() returns its answer line.

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <optional>
#include <string>
#include <vector>

extern char** environ;

namespace kelvo::test {

class KelvoSimProcess {
 public:
  KelvoSimProcess(std::string program, std::string scenarioPath, std::vector<std::string> options = {})
      : program(std::move(program)), scenarioPath(std::move(scenarioPath)), options(std::move(options)) {}
  ~KelvoSimProcess() { stop(SIGKILL); }
  KelvoSimProcess(const KelvoSimProcess&) = delete;
  KelvoSimProcess& operator=(const KelvoSimProcess&) = delete;

  // Runs on the bus DBUS_SYSTEM_BUS_ADDRESS names; false when it does not become ready.
  bool start() {
    int input[2];
    int output[2];
    if (pipe2(input, O_CLOEXEC) != 0 || pipe2(output, O_CLOEXEC) != 0) return false;
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, input[0], STDIN_FILENO);
    posix_spawn_file_actions_adddup2(&actions, output[1], STDOUT_FILENO);
    std::vector<char*> arguments{const_cast<char*>(program.c_str())};
    for (const std::string& option : options) arguments.push_back(const_cast<char*>(option.c_str()));
    arguments.push_back(const_cast<char*>(scenarioPath.c_str()));
    arguments.push_back(nullptr);
    const int spawned = posix_spawn(&child, program.c_str(), &actions, nullptr, arguments.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    close(input[0]);
    close(output[1]);
    toChild = input[1];
    fromChild = output[0];
    if (spawned != 0) {
      child = -1;
      return false;
    }
    return readLine(std::chrono::seconds(20)) == "ready";
  }

  pid_t pid() const { return child; }

  // The answer line, or "" when none came.
  std::string command(const std::string& line) {
    const std::string text = line + "\n";
    if (write(toChild, text.data(), text.size()) != static_cast<ssize_t>(text.size())) return "";
    return readLine(std::chrono::seconds(20));
  }

  // Ends it as bluetoothd ends: SIGTERM lets it leave the bus, SIGKILL does not ask. Gives its exit status
  // when it was still running and ended by exiting (a sanitizer's report makes it non-zero).
  std::optional<int> stop(int signal = SIGTERM) {
    std::optional<int> exitStatus;
    if (child > 0) {
      kill(child, signal);
      int status = 0;
      waitpid(child, &status, 0);
      if (WIFEXITED(status)) exitStatus = WEXITSTATUS(status);
      child = -1;
    }
    for (int* fd : {&toChild, &fromChild}) {
      if (*fd >= 0) close(*fd);
      *fd = -1;
    }
    return exitStatus;
  }

 private:
  std::string readLine(std::chrono::milliseconds limit) {
    const auto deadline = std::chrono::steady_clock::now() + limit;
    for (;;) {
      const size_t end = pending.find('\n');
      if (end != std::string::npos) {
        std::string line = pending.substr(0, end);
        pending.erase(0, end + 1);
        return line;
      }
      const auto left =
          std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
      if (left.count() <= 0) return "";
      pollfd watched{fromChild, POLLIN, 0};
      if (poll(&watched, 1, static_cast<int>(left.count())) <= 0) continue;
      char buffer[256];
      const ssize_t count = read(fromChild, buffer, sizeof buffer);
      if (count <= 0) return "";
      pending.append(buffer, static_cast<size_t>(count));
    }
  }

  const std::string program;
  const std::string scenarioPath;
  const std::vector<std::string> options;
  pid_t child = -1;
  int toChild = -1;
  int fromChild = -1;
  std::string pending;
};

}  // namespace kelvo::test
