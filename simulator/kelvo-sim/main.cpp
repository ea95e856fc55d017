// SPDX-License-Identifier: Apache-2.0
// kelvo-sim: the emulated readers of a scenario file, published as BlueZ would publish real ones, so that the
// BlueZ backend of the library, and every program on it, runs against them unchanged.

#include <getopt.h>
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
#include "kelvo/Version.h"
#include "kelvo/simulator/scenario/ControlFifo.h"
#include "kelvo/simulator/scenario/ScenarioLoader.h"
#include "trevalon/common/Log.h"

namespace {

const char* const kUsage =
    "usage: kelvo-sim [--verbose] [--gatt-delay MS] [--scenario] SCENARIO.json\n"
    "       kelvo-sim --help | --version\n"
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

struct Options {
  std::string scenarioPath;
  bool verbose = false;
  int gattDelayMs = 0;
  bool help = false;
  bool version = false;
};

bool parse(int argc, char** argv, Options& options) {
  static const option kOptions[] = {
      {"verbose", no_argument, nullptr, 'v'},        {"gatt-delay", required_argument, nullptr, 'g'},
      {"scenario", required_argument, nullptr, 's'}, {"help", no_argument, nullptr, 'h'},
      {"version", no_argument, nullptr, 'V'},        {nullptr, 0, nullptr, 0},
  };
  int option = 0;
  while ((option = getopt_long(argc, argv, "", kOptions, nullptr)) != -1) {
    switch (option) {
      case 'v':
        options.verbose = true;
        break;
      case 'g': {
        char* end = nullptr;
        const long delay = std::strtol(optarg, &end, 10);
        if (*optarg == '\0' || *end != '\0' || delay < 0 || delay > 600000) return false;
        options.gattDelayMs = static_cast<int>(delay);
        break;
      }
      case 's':
        options.scenarioPath = optarg;
        break;
      case 'h':
        options.help = true;
        break;
      case 'V':
        options.version = true;
        break;
      default:
        return false;
    }
  }
  // The scenario may also come as the one argument, as before --scenario existed.
  if (optind < argc && options.scenarioPath.empty()) options.scenarioPath = argv[optind++];
  return optind == argc && (options.help || options.version || !options.scenarioPath.empty());
}

}  // namespace

int main(int argc, char** argv) {
  Options options;
  if (!parse(argc, argv, options)) {
    std::cerr << kUsage;
    return 2;
  }
  if (options.help) {
    std::cout << kUsage;
    return 0;
  }
  if (options.version) {
    std::cout << "kelvo-sim " << KELVO_VERSION << std::endl;
    return 0;
  }
  const std::string& scenarioPath = options.scenarioPath;
  const bool verbose = options.verbose;
  const int gattDelayMs = options.gattDelayMs;
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
