// SPDX-License-Identifier: Apache-2.0
// kelvo-sim: the emulated readers of a scenario file, published as BlueZ would publish real ones, so that the
// BlueZ backend of the library, and every program on it, runs against them unchanged.

#include <signal.h>

#include <cstdlib>
#include <iostream>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>

#include <sdbus-c++/sdbus-c++.h>

#include "EmulatedBlueZ.h"
#include "PrivateBus.h"
#include "kelvo/simulator/scenario/ControlFifo.h"
#include "kelvo/simulator/scenario/ScenarioLoader.h"
#include "trevalon/common/Log.h"

namespace {

const char* const kUsage =
    "usage: kelvo-sim [--verbose] [--gatt-delay MS] SCENARIO.json\n"
    "Publishes the scenario's devices as org.bluez on the bus DBUS_SYSTEM_BUS_ADDRESS names, or on a bus of its\n"
    "own whose address it prints as \"DBUS_SYSTEM_BUS_ADDRESS=...\". Prints \"ready\" once the devices are on the\n"
    "bus. Reads control commands on standard input (insert, remove, battery, usb, drop, add-reader,\n"
    "remove-reader, piv-state; \"quit\" ends it) and prints one answer line for each; also from the named pipe\n"
    "KELVO_SIM_CONTROL names (answers appended to <pipe>.out) and as org.kelvo.Sim1.Command on /org/kelvo/sim.\n"
    "Ends on SIGTERM or SIGINT too. --gatt-delay exports a device's GATT objects that long after its link\n"
    "comes up (and its services are reported resolved), as BlueZ may.\n";

std::weak_ptr<kelvo::kelvo_sim::EmulatedBlueZ> running;
std::mutex outputLock;

void say(const std::string& line) {
  std::lock_guard<std::mutex> guard(outputLock);
  std::cout << line << std::endl;
}

// Signals arrive on a thread of their own, which may stop the bus thread without async-signal limits.
void watchSignals(const sigset_t& signals) {
  std::thread([signals] {
    int received = 0;
    sigwait(&signals, &received);
    if (auto emulation = running.lock()) emulation->stop();
  }).detach();
}

void readCommands(const std::shared_ptr<kelvo::kelvo_sim::EmulatedBlueZ>& emulation) {
  std::thread([emulation] {
    for (std::string line; std::getline(std::cin, line);) {
      if (line.find_first_not_of(" \t\r") == std::string::npos) continue;
      if (line == "quit") {
        emulation->stop();
        return;
      }
      emulation->command(line, say);
    }
  }).detach();
}

}  // namespace

int main(int argc, char** argv) {
  std::string scenarioPath;
  bool verbose = false;
  int gattDelayMs = 0;
  for (int i = 1; i < argc; ++i) {
    const std::string argument = argv[i];
    if (argument == "--verbose") {
      verbose = true;
    } else if (argument == "--gatt-delay" && i + 1 < argc) {
      gattDelayMs = std::atoi(argv[++i]);
    } else if (argument == "--help") {
      std::cout << kUsage;
      return 0;
    } else if (scenarioPath.empty() && argument.rfind("--", 0) != 0) {
      scenarioPath = argument;
    } else {
      std::cerr << kUsage;
      return 2;
    }
  }
  if (scenarioPath.empty()) {
    std::cerr << kUsage;
    return 2;
  }
  if (verbose) {
    trevalon::common::addLogSink(
        0xFF, [](const std::string& line) { std::cerr << line << std::endl; }, "stderr");
  }
  sigset_t signals;
  sigemptyset(&signals);
  sigaddset(&signals, SIGTERM);
  sigaddset(&signals, SIGINT);
  pthread_sigmask(SIG_BLOCK, &signals, nullptr);

  try {
    std::vector<kelvo::simulator::ScenarioDevice> devices = kelvo::simulator::ScenarioLoader::load(scenarioPath);
    std::optional<kelvo::kelvo_sim::PrivateBus> ownBus;
    std::unique_ptr<sdbus::IConnection> bus;
    if (const char* given = std::getenv("DBUS_SYSTEM_BUS_ADDRESS"); given && *given) {
      bus = sdbus::createSystemBusConnection();
    } else {
      ownBus.emplace();
      say("DBUS_SYSTEM_BUS_ADDRESS=" + ownBus->address());
      bus = sdbus::createSessionBusConnectionWithAddress(ownBus->address());
    }
    auto emulation = std::make_shared<kelvo::kelvo_sim::EmulatedBlueZ>(
        std::move(bus), kelvo::simulator::Scenario::populate(nullptr, devices), gattDelayMs);
    emulation->publish();
    running = emulation;
    watchSignals(signals);
    readCommands(emulation);
    std::unique_ptr<kelvo::simulator::ControlFifo> fifo;
    if (const char* pipe = std::getenv("KELVO_SIM_CONTROL"); pipe && *pipe) {
      fifo = std::make_unique<kelvo::simulator::ControlFifo>(
          pipe, [emulation](const std::string& line) { return emulation->commandAndWait(line); });
    }
    say("ready");
    emulation->run();
  } catch (const sdbus::Error& error) {
    std::cerr << "kelvo-sim: " << error.getName() << ": " << error.getMessage() << std::endl;
    return 1;
  } catch (const std::exception& error) {
    std::cerr << "kelvo-sim: " << error.what() << std::endl;
    return 1;
  }
  return 0;
}
