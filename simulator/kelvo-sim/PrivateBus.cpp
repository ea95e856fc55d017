// SPDX-License-Identifier: Apache-2.0
#include "PrivateBus.h"

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <stdexcept>

extern char** environ;

namespace kelvo::kelvo_sim {

PrivateBus::PrivateBus() {
  int output[2];
  if (pipe(output) != 0) throw std::runtime_error(std::string("pipe: ") + std::strerror(errno));
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_adddup2(&actions, output[1], STDOUT_FILENO);
  posix_spawn_file_actions_addclose(&actions, output[0]);
  // Its complaints about resource limits it may not raise are no concern of a private bus.
  posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, "/dev/null", O_WRONLY, 0);
  // The daemon must hear the SIGTERM that ends it, whatever this process blocks.
  posix_spawnattr_t attributes;
  posix_spawnattr_init(&attributes);
  sigset_t none;
  sigemptyset(&none);
  posix_spawnattr_setsigmask(&attributes, &none);
  posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETSIGMASK);
  char* arguments[] = {const_cast<char*>("dbus-daemon"), const_cast<char*>("--session"), const_cast<char*>("--nofork"),
                       const_cast<char*>("--print-address"), nullptr};
  const int spawned = posix_spawnp(&daemon, "dbus-daemon", &actions, &attributes, arguments, environ);
  posix_spawn_file_actions_destroy(&actions);
  posix_spawnattr_destroy(&attributes);
  close(output[1]);
  if (spawned != 0) {
    close(output[0]);
    throw std::runtime_error(std::string("cannot start dbus-daemon: ") + std::strerror(spawned));
  }
  char c = 0;
  while (read(output[0], &c, 1) == 1 && c != '\n') busAddress.push_back(c);
  close(output[0]);
  if (busAddress.empty()) {
    kill(daemon, SIGTERM);
    waitpid(daemon, nullptr, 0);
    throw std::runtime_error("dbus-daemon printed no address");
  }
}

PrivateBus::~PrivateBus() {
  kill(daemon, SIGTERM);
  waitpid(daemon, nullptr, 0);
}

}  // namespace kelvo::kelvo_sim
