// SPDX-License-Identifier: Apache-2.0
#pragma once
// The test's side of kelvo-driver-peer-client: runs it as another user and hands back what it printed. Spawned,
// not forked, so the test process's threads never meet a forked copy of themselves.

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdint>
#include <string>
#include <vector>

extern char** environ;

namespace kelvo::test {

class PeerProcess {
 public:
  // One request as `uid`/`gid`; the answer in hex, or "none" when the socket gave none, or "" when the client
  // could not run.
  static std::string exchange(uid_t uid, gid_t gid, const std::string& socket, const std::vector<uint8_t>& request) {
    std::string hex;
    static const char* const kDigits = "0123456789abcdef";
    for (uint8_t byte : request) {
      hex += kDigits[byte >> 4];
      hex += kDigits[byte & 0xF];
    }
    PeerProcess client(uid, gid, socket, "exchange", hex);
    client.closeInput();
    return client.finish();
  }

  // Opens `count` silent connections as `uid`/`gid` and keeps them until finish().
  static PeerProcess hold(uid_t uid, gid_t gid, const std::string& socket, int count) {
    return PeerProcess(uid, gid, socket, "hold", std::to_string(count));
  }

  PeerProcess(PeerProcess&& other) noexcept : pid(other.pid), input(other.input), output(other.output) {
    other.pid = -1;
    other.input = -1;
    other.output = -1;
  }
  PeerProcess(const PeerProcess&) = delete;
  PeerProcess& operator=(const PeerProcess&) = delete;
  ~PeerProcess() {
    if (pid > 0) {
      ::kill(pid, SIGKILL);
      finish();
    }
  }

  // The first line the client printed, without its newline.
  std::string readLine() {
    std::string line;
    char c = 0;
    while (output >= 0 && ::read(output, &c, 1) == 1 && c != '\n') line += c;
    return line;
  }

  void closeInput() {
    if (input >= 0) ::close(input);
    input = -1;
  }

  // Lets the client end and returns what it printed that was not read yet.
  std::string finish() {
    closeInput();
    std::string rest = readLine();
    if (output >= 0) ::close(output);
    output = -1;
    if (pid > 0) {
      int status = 0;
      ::waitpid(pid, &status, 0);
      if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) rest.clear();
    }
    pid = -1;
    return rest;
  }

 private:
  PeerProcess(uid_t uid, gid_t gid, const std::string& socket, const std::string& mode, const std::string& argument) {
    int toChild[2] = {-1, -1};
    int fromChild[2] = {-1, -1};
    if (::pipe2(toChild, O_CLOEXEC) != 0 || ::pipe2(fromChild, O_CLOEXEC) != 0) return;
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, toChild[0], STDIN_FILENO);
    posix_spawn_file_actions_adddup2(&actions, fromChild[1], STDOUT_FILENO);
    std::vector<std::string> arguments = {
        KELVO_PEER_CLIENT_PATH, std::to_string(uid), std::to_string(gid), socket, mode, argument};
    std::vector<char*> argv;
    for (std::string& each : arguments) argv.push_back(each.data());
    argv.push_back(nullptr);
    if (::posix_spawn(&pid, KELVO_PEER_CLIENT_PATH, &actions, nullptr, argv.data(), environ) != 0) pid = -1;
    posix_spawn_file_actions_destroy(&actions);
    ::close(toChild[0]);
    ::close(fromChild[1]);
    input = toChild[1];
    output = fromChild[0];
  }

  pid_t pid = -1;
  int input = -1;
  int output = -1;
};

}  // namespace kelvo::test
