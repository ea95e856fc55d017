// SPDX-License-Identifier: Apache-2.0
#include "kelvo/simulator/scenario/ControlFifo.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <fstream>
#include <stdexcept>

#include "trevalon/common/Log.h"

namespace kelvo::simulator {

ControlFifo::ControlFifo(std::string pipePath, std::shared_ptr<ScenarioControl> control)
    : ControlFifo(std::move(pipePath),
                  [control = std::move(control)](const std::string& line) { return control->execute(line); }) {}

ControlFifo::ControlFifo(std::string pipePath, Executor executor)
    : path(std::move(pipePath)), execute(std::move(executor)) {
  if (mkfifo(path.c_str(), 0600) != 0 && errno != EEXIST) {
    throw std::runtime_error("cannot create the control pipe " + path + ": " + std::strerror(errno));
  }
  // Opened for writing too, so the pipe never reports an end while no writer has it open.
  pipeFd = open(path.c_str(), O_RDWR | O_NONBLOCK | O_CLOEXEC);
  if (pipeFd < 0) throw std::runtime_error("cannot open the control pipe " + path + ": " + std::strerror(errno));
  if (pipe2(stopFds, O_CLOEXEC) != 0) {
    close(pipeFd);
    throw std::runtime_error(std::string("cannot create a stop pipe: ") + std::strerror(errno));
  }
  reader = std::thread(&ControlFifo::run, this);
}

ControlFifo::~ControlFifo() {
  const char stop = 's';
  if (write(stopFds[1], &stop, 1) < 0) {
    TREVALON_LOG(error, "cannot wake the control reader: %s", std::strerror(errno));
  }
  if (reader.joinable()) reader.join();
  close(pipeFd);
  close(stopFds[0]);
  close(stopFds[1]);
}

void ControlFifo::run() {
  trevalon::common::setThreadName("SIM_CTRL");
  std::string pending;
  for (;;) {
    pollfd watched[2] = {{pipeFd, POLLIN, 0}, {stopFds[0], POLLIN, 0}};
    if (poll(watched, 2, -1) < 0) {
      if (errno == EINTR) continue;
      TREVALON_LOG(error, "control pipe: poll failed: %s", std::strerror(errno));
      return;
    }
    if (watched[1].revents != 0) return;
    char buffer[512];
    const ssize_t count = read(pipeFd, buffer, sizeof buffer);
    if (count <= 0) continue;
    pending.append(buffer, static_cast<size_t>(count));
    for (size_t end; (end = pending.find('\n')) != std::string::npos;) {
      const std::string line = pending.substr(0, end);
      pending.erase(0, end + 1);
      if (line.find_first_not_of(" \t\r") == std::string::npos) continue;
      const std::string reply = execute(line);
      const std::string shown = ScenarioControl::answerIsSecret(line) ? "(answer withheld: it holds a PIN)" : reply;
      TREVALON_LOG(info, "control: %s -> %s", line.c_str(), shown.c_str());
      answer(reply);
    }
  }
}

void ControlFifo::answer(const std::string& line) {
  std::ofstream out(path + ".out", std::ios::app);
  out << line << '\n';
}

}  // namespace kelvo::simulator
