// SPDX-License-Identifier: Apache-2.0
// kelvo-sim-bridge SCENARIO -- COMMAND [ARGS]: the scenario's Bridge dongles (family "bridge") on the emulated USB bus
// of scripts/with-usb (KELVO_USB_WORLD) while COMMAND runs, their radios reaching the scenario's devices they name.
// The Bridges keep their state (pairings, name, connection) until COMMAND ends; the exit status is COMMAND's.
// When KELVO_BRIDGE_CONTROL names a FIFO, these commands move them (answers in "<fifo>.out"):
//   unplug | plug                 the (first) Bridge leaves the bus or comes back, with its state
//   range ADDR 0|1                a device leaves the Bridge's radio range or comes back
//   connected                     the address of the reader the Bridge is connected to, or "none"

#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <iostream>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "kelvo/simulator/bridge/BridgeEmulator.h"
#include "kelvo/simulator/scenario/ControlFifo.h"
#include "kelvo/simulator/scenario/Scenario.h"
#include "kelvo/simulator/scenario/UsbWorldLink.h"

namespace {

using kelvo::simulator::BridgeEmulator;
using kelvo::simulator::UsbWorldLink;

// A hard reset takes the Bridge off the bus for this long.
constexpr int kResetMs = 1000;

int fail(const std::string& why) {
  std::cerr << "kelvo-sim-bridge: " << why << std::endl;
  return 2;
}

struct PluggedBridge {
  std::shared_ptr<BridgeEmulator> emulator;
  UsbWorldLink::BridgeHandler handler;
};

UsbWorldLink::BridgeHandler handlerFor(const std::shared_ptr<BridgeEmulator>& emulator,
                                       const std::weak_ptr<UsbWorldLink>& bus) {
  return [emulator, bus](const std::vector<uint8_t>& out) {
    std::vector<BridgeEmulator::Message> answers = emulator->receive(out);
    if (emulator->takeReset()) {
      if (auto live = bus.lock()) live->replugBridge(emulator->serial(), kResetMs);
    }
    return answers;
  };
}

std::string control(const std::string& line, const std::shared_ptr<UsbWorldLink>& bus, const PluggedBridge& bridge) {
  std::istringstream words(line);
  std::string command;
  words >> command;
  BridgeEmulator& emulator = *bridge.emulator;
  if (command == "unplug") {
    bus->unplugBridge(emulator.serial());
    return "ok";
  }
  if (command == "plug") {
    return bus->plugBridge(emulator.serial(), emulator.vendor(), emulator.product(), bridge.handler)
               ? "ok"
               : "error: no answer";
  }
  if (command == "range") {
    std::string address;
    int within = -1;
    words >> address >> within;
    if (within != 0 && within != 1) return "error: range ADDR 0|1";
    return emulator.setInRange(address, within == 1) ? "ok" : "error: no device " + address + " within reach";
  }
  if (command == "connected") {
    const std::string address = emulator.connectedAddress();
    return address.empty() ? "none" : address;
  }
  return "error: unknown command '" + command + "' (known: unplug, plug, range, connected)";
}

int runCommand(char** command) {
  const pid_t child = fork();
  if (child < 0) return fail(std::string("cannot start the command: ") + std::strerror(errno));
  if (child == 0) {
    execvp(command[0], command);
    std::cerr << "kelvo-sim-bridge: cannot run " << command[0] << ": " << std::strerror(errno) << std::endl;
    _exit(127);
  }
  int status = 0;
  while (waitpid(child, &status, 0) < 0 && errno == EINTR) {
  }
  if (WIFEXITED(status)) return WEXITSTATUS(status);
  return 128 + (WIFSIGNALED(status) ? WTERMSIG(status) : 0);
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 4 || std::string(argv[2]) != "--") return fail("usage: kelvo-sim-bridge SCENARIO -- COMMAND [ARGS]");
  const char* world = std::getenv("KELVO_USB_WORLD");
  if (world == nullptr || *world == '\0') return fail("KELVO_USB_WORLD is not set: run it under scripts/with-usb");
  std::signal(SIGPIPE, SIG_IGN);
  try {
    const kelvo::simulator::Scenario scenario =
        kelvo::simulator::Scenario::populate(nullptr, kelvo::simulator::ScenarioLoader::load(argv[1]));
    if (scenario.bridges().empty()) return fail(std::string(argv[1]) + " has no device of family \"bridge\"");
    const std::shared_ptr<UsbWorldLink> bus = UsbWorldLink::connect(world);
    std::vector<PluggedBridge> bridges;
    for (const kelvo::simulator::BridgeConfig& config : scenario.bridges()) {
      auto emulator = std::make_shared<BridgeEmulator>(config, scenario.peripherals());
      PluggedBridge bridge{emulator, handlerFor(emulator, bus)};
      if (!bus->plugBridge(config.serial, config.vendor, config.product, bridge.handler)) {
        return fail("the USB bus did not take the Bridge " + config.serial);
      }
      bridges.push_back(std::move(bridge));
    }
    std::unique_ptr<kelvo::simulator::ControlFifo> fifo;
    if (const char* pipe = std::getenv("KELVO_BRIDGE_CONTROL"); pipe && *pipe) {
      fifo = std::make_unique<kelvo::simulator::ControlFifo>(
          pipe, [bus, &bridges](const std::string& line) { return control(line, bus, bridges.front()); });
    }
    const int status = runCommand(argv + 3);
    fifo.reset();
    return status;
  } catch (const std::exception& error) {
    return fail(error.what());
  }
}
