// SPDX-License-Identifier: Apache-2.0
// kelvo-cli: readers by hand and for scripts, through the same in-process requests the application uses.

#include <cstdlib>
#include <iostream>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "BridgeCommand.h"
#include "Commands.h"
#include "DriverCommands.h"
#include "ReaderSession.h"
#include "trevalon/common/Log.h"
#ifdef KELVO_WITH_SIMULATOR
#include "kelvo/simulator/scenario/ScenarioRadio.h"
#endif

namespace {

const char* const kUsage =
    "usage: kelvo-cli [--verbose] [--scenario FILE | --driver] COMMAND [ARGS]\n"
    "  list                        one line per reader: address, name, model, serial\n"
    "  descriptor ADDR             one line per item: KEY = VALUE\n"
    "  state ADDR                  the device-state record, one line per field: NAME = VALUE\n"
    "  set-setting ADDR ID VALUE   SetSetting; prints \"code = N\"\n"
    "  set-ranges ADDR S,E ...     seven pairs (-1,-1 for unset); prints \"code = N\"\n"
    "  indicate ADDR HEX           Indicate; prints \"code = N\"\n"
    "  rpc ADDR HEX                TransmitRpc; prints \"code = N\" and \"response = HEX\"\n"
    "  apdu ADDR HEX               powers the card if needed and prints \"response = HEX\"\n"
    "  firmware ADDR [--catalogue DIR]...\n"
    "                              matches the reader against firmware folders (default: the application's):\n"
    "                              one line per candidate, then \"update = ID VERSION\" or \"update = none\"\n"
    "  flash ADDR IMAGE [--usb]    writes a signed image over the air (\"progress = N\" lines), sends the reader\n"
    "                              into its bootloader and prints \"firmware = VERSION\" once it is back; with\n"
    "                              --usb through the reader's USB bootloader instead\n"
    "  bridge info|scan|connect ADDR|pair CODE|abort|paired|rename NAME|rpc HEX|reset\n"
    "                              the Bridge dongle on USB: \"KEY = VALUE\" lines, one line per reader found\n"
    "                              (ADDR NAME) or paired (ADDR), \"response = HEX\" for rpc, \"result = N\"\n"
    "                              for the other commands\n"
    "Without --scenario, readers are reached through BlueZ on the system bus (DBUS_SYSTEM_BUS_ADDRESS),\n"
    "or KELVO_BLE_BACKEND=sim with KELVO_SIM_SCENARIO=FILE selects a scenario.\n"
    "With --driver, commands (all but apdu) go through a running kelvo-driver's sockets in $TREVALON_RUNTIME_DIR.\n";

int usage() {
  std::cerr << kUsage;
  return 2;
}

}  // namespace

int main(int argc, char** argv) {
  std::vector<std::string> args(argv + 1, argv + argc);
  std::string scenario;
  bool verbose = false;
  bool throughDriver = false;
  while (!args.empty() && args.front().rfind("--", 0) == 0) {
    if (args.front() == "--verbose") {
      verbose = true;
      args.erase(args.begin());
    } else if (args.front() == "--scenario" && args.size() >= 2) {
      scenario = args[1];
      args.erase(args.begin(), args.begin() + 2);
    } else if (args.front() == "--driver") {
      throughDriver = true;
      args.erase(args.begin());
    } else if (args.front() == "--help") {
      std::cout << kUsage;
      return 0;
    } else {
      kelvo::cli::Commands::fail("unknown option '" + args.front() + "' (kelvo-cli --help lists the options)");
      return 2;
    }
  }
  if (args.empty()) return usage();
  if (verbose) {
    trevalon::common::addLogSink(
        0xFF, [](const std::string& line) { std::cerr << line << std::endl; }, "stderr");
  }
  const std::string command = args.front();
  const std::vector<std::string> rest(args.begin() + 1, args.end());
  // The Bridge is on USB: no reader backend is needed for it.
  if (command == "bridge") return kelvo::cli::BridgeCommand::run(rest);
  if (throughDriver) {
    const kelvo::cli::DriverSession driver;
    return kelvo::cli::DriverCommands(driver).run(command, rest);
  }
#ifdef KELVO_WITH_SIMULATOR
  kelvo::simulator::ScenarioRadio::registerAsSim();
#endif
  std::unique_ptr<kelvo::cli::ReaderSession> session;
  try {
    session = std::make_unique<kelvo::cli::ReaderSession>(scenario);
  } catch (const std::exception& error) {
    return kelvo::cli::Commands::fail(error.what());
  }
  kelvo::cli::Commands commands(*session);
  if (command == "list") return rest.empty() ? commands.list() : kelvo::cli::Commands::fail("list takes no arguments");
  if (command == "descriptor") return commands.descriptor(rest);
  if (command == "state") return commands.state(rest);
  if (command == "set-setting") return commands.setSetting(rest);
  if (command == "set-ranges") return commands.setRanges(rest);
  if (command == "indicate") return commands.indicate(rest);
  if (command == "rpc") return commands.rpc(rest);
  if (command == "apdu") return commands.apdu(rest);
  if (command == "firmware") return commands.firmware(rest);
  if (command == "flash") return commands.flash(rest);
  kelvo::cli::Commands::fail("unknown command '" + command + "' (kelvo-cli --help lists the commands)");
  return 2;
}
