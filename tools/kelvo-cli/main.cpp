// SPDX-License-Identifier: Apache-2.0
// kelvo-cli: readers by hand and for scripts, through the same in-process requests the application uses, or
// through a running kelvo-driver.

#include <getopt.h>

#include <cstdlib>
#include <iostream>
#include <memory>
#include <string>
#include <vector>

#include "BridgeCommand.h"
#include "Commands.h"
#include "DriverCommands.h"
#include "Output.h"
#include "ReaderSession.h"
#include "ReportCommand.h"
#include "kelvo/Version.h"
#include "trevalon/common/Log.h"
#include "trevalon/local/Paths.h"
#ifdef KELVO_WITH_SIMULATOR
#include "kelvo/simulator/scenario/ScenarioRadio.h"
#endif

namespace {

const char* const kUsage =
    "usage: kelvo-cli [--verbose] [--json] [--scenario FILE | --driver] COMMAND [ARGS]\n"
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
    "  report                      what a bug report needs: versions, radio, driver, readers with their\n"
    "                              descriptor and state, the driver's recent warnings (no keys, no PINs)\n"
    "Options:\n"
    "  --json                      one JSON object instead of lines (decoded values, \"exit-status\", \"error\")\n"
    "  --scenario FILE             the emulated readers of a scenario file (development builds)\n"
    "  --driver                    through a running kelvo-driver's sockets in $TREVALON_RUNTIME_DIR\n"
    "  --verbose                   the library's log on standard error\n"
    "  --help, --version\n"
    "Real readers: while kelvo-driver runs, every command goes through it (a note says so); apdu and flash\n"
    "then need the driver stopped. Without the driver, kelvo-cli keeps the readers' link keys where the driver\n"
    "does ($TREVALON_SETTINGS_DIR) and so must run as the driver's user: sudo -u kelvo kelvo-cli ...\n"
    "Readers come from BlueZ on the system bus (DBUS_SYSTEM_BUS_ADDRESS), or, with KELVO_BLE_BACKEND=sim and\n"
    "KELVO_SIM_SCENARIO=FILE, from a scenario. Exit status: 0 done, 1 failed, 2 wrong usage.\n";

struct Options {
  std::string scenario;
  bool verbose = false;
  bool throughDriver = false;
  bool json = false;
  bool help = false;
  bool version = false;
};

// Options stop at the command: what follows belongs to it (flash's --usb, firmware's --catalogue).
bool parse(int argc, char** argv, Options& options) {
  static const option kOptions[] = {
      {"verbose", no_argument, nullptr, 'v'},
      {"json", no_argument, nullptr, 'j'},
      {"scenario", required_argument, nullptr, 's'},
      {"driver", no_argument, nullptr, 'd'},
      {"help", no_argument, nullptr, 'h'},
      {"version", no_argument, nullptr, 'V'},
      {nullptr, 0, nullptr, 0},
  };
  opterr = 0;
  int option = 0;
  while ((option = getopt_long(argc, argv, "+", kOptions, nullptr)) != -1) {
    switch (option) {
      case 'v':
        options.verbose = true;
        break;
      case 'j':
        options.json = true;
        break;
      case 's':
        options.scenario = optarg;
        break;
      case 'd':
        options.throughDriver = true;
        break;
      case 'h':
        options.help = true;
        break;
      case 'V':
        options.version = true;
        break;
      default:
        std::cerr << "kelvo-cli: " << (optopt != 0 ? "option needs a value or is unknown: " : "unknown option ")
                  << argv[optind - 1] << " (kelvo-cli --help lists the options)" << std::endl;
        return false;
    }
  }
  if (!options.scenario.empty() && options.throughDriver) {
    std::cerr << "kelvo-cli: --scenario and --driver exclude each other" << std::endl;
    return false;
  }
  return true;
}

bool emulatedRadio(const Options& options) {
  const char* backend = std::getenv("KELVO_BLE_BACKEND");
  return !options.scenario.empty() || (backend != nullptr && std::string(backend) == "sim");
}

// The readers in process; nothing after reporting why not.
std::unique_ptr<kelvo::cli::ReaderSession> openSession(const Options& options) {
#ifdef KELVO_WITH_SIMULATOR
  kelvo::simulator::ScenarioRadio::registerAsSim();
#endif
  // Emulated readers may use a store of this run; real readers keep their one key where the driver keeps it.
  const bool keepKeys = !emulatedRadio(options) || std::getenv("TREVALON_SETTINGS_DIR") != nullptr;
  try {
    return std::make_unique<kelvo::cli::ReaderSession>(
        options.scenario, keepKeys ? trevalon::local::Paths::settingsDirectory() : std::string());
  } catch (const std::exception& error) {
    kelvo::cli::Commands::fail(error.what());
    return nullptr;
  }
}

int inProcess(const Options& options, const std::string& command, const std::vector<std::string>& rest) {
  std::unique_ptr<kelvo::cli::ReaderSession> session = openSession(options);
  if (!session) return 1;
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

int throughDriver(const kelvo::cli::DriverSession& driver, const std::string& command,
                  const std::vector<std::string>& rest) {
  if (!driver.driverRunning()) {
    return kelvo::cli::Commands::fail("kelvo-driver is not running (no driver holds " + driver.directory() + "/" +
                                      kelvo::cli::DriverSession::kRunningMarker + ")");
  }
  return kelvo::cli::DriverCommands(driver).run(command, rest);
}

int run(const Options& options, const std::string& command, const std::vector<std::string>& rest) {
  // The Bridge is on USB: no reader backend is needed for it.
  if (command == "bridge") return kelvo::cli::BridgeCommand::run(rest);
  const kelvo::cli::DriverSession driver;
  if (command == "report") {
    if (!rest.empty()) return kelvo::cli::Commands::fail("report takes no arguments");
    // Emulated readers are reported as kelvo-cli reaches them; real ones only through the driver.
    std::unique_ptr<kelvo::cli::ReaderSession> session = emulatedRadio(options) ? openSession(options) : nullptr;
    if (emulatedRadio(options) && !session) return 1;
    return kelvo::cli::ReportCommand(driver, session.get()).run();
  }
  if (options.throughDriver) return throughDriver(driver, command, rest);
  // A real reader the driver holds must not be reached in process: that would agree a new link key with it and
  // leave the driver's key useless.
  if (!emulatedRadio(options) && driver.driverRunning()) {
    if (command == "apdu" || command == "flash") {
      return kelvo::cli::Commands::fail("kelvo-driver is running and holds the readers: " + command +
                                        " needs it stopped (systemctl stop kelvo-driver)");
    }
    kelvo::cli::Output::note("kelvo-driver is running: asking it (--driver)");
    return throughDriver(driver, command, rest);
  }
  return inProcess(options, command, rest);
}

}  // namespace

int main(int argc, char** argv) {
  Options options;
  if (!parse(argc, argv, options)) return 2;
  if (options.help) {
    std::cout << kUsage;
    return 0;
  }
  if (options.version) {
    std::cout << "kelvo-cli " << KELVO_VERSION << std::endl;
    return 0;
  }
  if (optind >= argc) {
    std::cerr << kUsage;
    return 2;
  }
  kelvo::cli::Output::setJson(options.json);
  if (options.verbose) {
    trevalon::common::addLogSink(
        0xFF, [](const std::string& line) { std::cerr << line << std::flush; }, "stderr");
  }
  const std::string command = argv[optind];
  const std::vector<std::string> rest(argv + optind + 1, argv + argc);
  kelvo::cli::Output::setCommand(command);
  return kelvo::cli::Output::finish(run(options, command, rest));
}
