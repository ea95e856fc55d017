// SPDX-License-Identifier: Apache-2.0
#pragma once
// Reads control commands, one per line, from a named pipe on a thread of its own ("SIM_CTRL") and hands each
// to an executor (a ScenarioControl, or a program that runs the commands on a thread of its own). Any number of writers may open the pipe one after another; each answer is appended as
// one line to the file "<pipe>.out", so a script can wait for it.

#include <functional>
#include <memory>
#include <string>
#include <thread>

#include "kelvo/simulator/scenario/ScenarioControl.h"

namespace kelvo::simulator {

class ControlFifo {
 public:
  // Creates the pipe when it is missing; throws std::runtime_error when it cannot be made or opened.
  // Runs one command line and gives its answer line.
  using Executor = std::function<std::string(const std::string&)>;

  ControlFifo(std::string path, std::shared_ptr<ScenarioControl> control);
  ControlFifo(std::string path, Executor execute);
  // Returns after the reading thread has ended.
  ~ControlFifo();
  ControlFifo(const ControlFifo&) = delete;
  ControlFifo& operator=(const ControlFifo&) = delete;

 private:
  void run();
  void answer(const std::string& line);

  const std::string path;
  const Executor execute;
  int pipeFd = -1;
  int stopFds[2] = {-1, -1};
  std::thread reader;
};

}  // namespace kelvo::simulator
