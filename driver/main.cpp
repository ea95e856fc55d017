// SPDX-License-Identifier: Apache-2.0
// kelvo-driver: owns the readers through the library and serves each reader's requests on a socket of its own.

#include <getopt.h>
#include <signal.h>
#include <systemd/sd-daemon.h>

#include <cstdlib>
#include <iostream>
#include <memory>
#include <string>
#include <vector>

#include "Driver.h"
#include "JournalLog.h"
#include "LoginSeatSessions.h"
#include "OwnedFiles.h"
#include "PeerPolicy.h"
#include "ReaderDiscovery.h"
#include "RotatingLogFile.h"
#include "RunningMarker.h"
#include "kelvo/Version.h"
#include "trevalon/ble/Backend.h"
#include "trevalon/ble/BackendError.h"
#include "trevalon/common/Log.h"
#include "trevalon/local/Facade.h"
#include "trevalon/local/FileSettings.h"
#include "trevalon/local/LinuxMachine.h"
#include "trevalon/local/Paths.h"
#ifdef KELVO_WITH_SIMULATOR
#include "kelvo/simulator/scenario/ScenarioRadio.h"
#endif

namespace {

const char* const kUsage =
    "usage: kelvo-driver [--log-level LEVEL] [--scenario FILE] [--poll-interval MS] [--ifd-handler PATH]\n"
    "  --log-level LEVEL     the least important lines written to standard error: error, warning, notice,\n"
    "                        info (default), debug or trace; each line starts with its syslog priority\n"
    "  --verbose             the same as --log-level trace\n"
    "  --scenario FILE       readers of a scenario file on the simulated radio (default: BlueZ on the system bus)\n"
    "  --poll-interval MS    how often readers are looked for (default 1000)\n"
    "  --ifd-handler PATH    the IFD handler pcscd's reader list names (default " KELVO_IFD_HANDLER_PATH
    ")\n"
    "  --help, --version\n"
    "Without --scenario, KELVO_BLE_BACKEND=sim with KELVO_SIM_SCENARIO=FILE selects a scenario too\n"
    "(development builds only).\n"
    "Sockets and pcscd's reader list (pcsc-readers.conf) go to $TREVALON_RUNTIME_DIR, settings to\n"
    "$TREVALON_SETTINGS_DIR; when $TREVALON_DATA_DIR/logging exists at start, the log also goes to\n"
    "$TREVALON_DATA_DIR/driver.log. Tells systemd it is ready after its first look for readers; runs until\n"
    "SIGTERM or SIGINT.\n";

struct Options {
  std::string scenario;
  std::string ifdHandler = KELVO_IFD_HANDLER_PATH;
  trevalon::common::LogLevel logLevel = kelvo::driver::JournalLog::kDefaultLevel;
  long pollMs = 1000;
  bool help = false;
  bool version = false;
};

int fail(const std::string& message) {
  std::cerr << "kelvo-driver: " << message << std::endl;
  return 1;
}

bool parseOption(int option, const char* value, Options& options) {
  switch (option) {
    case 'l': {
      const auto level = kelvo::driver::JournalLog::parseLevel(value);
      if (!level) {
        std::cerr << "kelvo-driver: unknown log level '" << value << "' (" << kelvo::driver::JournalLog::levelNames()
                  << ")" << std::endl;
        return false;
      }
      options.logLevel = *level;
      return true;
    }
    case 'v':
      options.logLevel = trevalon::common::LogLevel::trace;
      return true;
    case 's':
      options.scenario = value;
      return true;
    case 'i':
      options.ifdHandler = value;
      return !options.ifdHandler.empty() && options.ifdHandler.front() == '/';
    case 'p': {
      char* end = nullptr;
      options.pollMs = std::strtol(value, &end, 10);
      return *value != '\0' && *end == '\0' && options.pollMs >= 10 && options.pollMs <= 600000;
    }
    case 'h':
      options.help = true;
      return true;
    case 'V':
      options.version = true;
      return true;
    default:
      return false;
  }
}

bool parse(int argc, char** argv, Options& options) {
  static const option kOptions[] = {
      {"log-level", required_argument, nullptr, 'l'},   {"verbose", no_argument, nullptr, 'v'},
      {"scenario", required_argument, nullptr, 's'},    {"poll-interval", required_argument, nullptr, 'p'},
      {"ifd-handler", required_argument, nullptr, 'i'}, {"help", no_argument, nullptr, 'h'},
      {"version", no_argument, nullptr, 'V'},           {nullptr, 0, nullptr, 0},
  };
  int option = 0;
  while ((option = getopt_long(argc, argv, "", kOptions, nullptr)) != -1) {
    if (!parseOption(option, optarg, options)) return false;
  }
  if (optind < argc) {
    std::cerr << "kelvo-driver: unexpected argument '" << argv[optind] << "'" << std::endl;
    return false;
  }
  return true;
}

// The library's settings hold the readers' link keys: the directory is the driver's alone.
bool prepareSettings() {
  const std::string directory = trevalon::local::Paths::settingsDirectory();
  std::string failure;
  if (!kelvo::driver::OwnedFiles::prepareDirectory(directory, 0700, failure)) {
    std::cerr << "kelvo-driver: refusing " << failure << std::endl;
    return false;
  }
  trevalon::local::Facade::instance().setSettings(std::make_shared<trevalon::local::FileSettings>(directory));
  trevalon::local::Facade::instance().setMachine(std::make_shared<trevalon::local::LinuxMachine>());
  return true;
}

// The backend the options or the environment choose; throws trevalon::ble::BackendError.
std::unique_ptr<trevalon::ble::Backend> chooseBackend(const Options& options) {
  if (options.scenario.empty())
    return trevalon::ble::Backend::fromEnvironment(kelvo::driver::ReaderDiscovery::backendOptions());
  return trevalon::ble::Backend::create("sim", options.scenario, kelvo::driver::ReaderDiscovery::backendOptions());
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
    std::cout << "kelvo-driver " << KELVO_VERSION << std::endl;
    return 0;
  }
#ifdef KELVO_WITH_SIMULATOR
  kelvo::simulator::ScenarioRadio::registerAsSim();
#endif
  if (options.scenario.empty()) {
    // A radio that cannot be used as asked is refused before anything is set up.
    try {
      trevalon::ble::Backend::checkEnvironment();
    } catch (const trevalon::ble::BackendError& error) {
      return fail(error.what());
    }
  }
  // Signals are taken by sigwait below; every thread started from here on inherits the mask.
  sigset_t stopSignals;
  sigemptyset(&stopSignals);
  sigaddset(&stopSignals, SIGTERM);
  sigaddset(&stopSignals, SIGINT);
  pthread_sigmask(SIG_BLOCK, &stopSignals, nullptr);
  signal(SIGPIPE, SIG_IGN);

  kelvo::driver::JournalLog::enable(options.logLevel);
  kelvo::driver::RotatingLogFile::enableIfMarked(trevalon::local::Paths::dataDirectory());
  if (!prepareSettings()) {
    return fail("cannot use the settings directory " + trevalon::local::Paths::settingsDirectory());
  }
  auto policy = std::make_shared<kelvo::driver::PeerPolicy>(std::make_shared<kelvo::driver::LoginSeatSessions>());
  auto driver = std::make_shared<kelvo::driver::Driver>(trevalon::local::Paths::runtimeDirectory(), policy,
                                                        kelvo::driver::ReaderSocketLimits(), options.ifdHandler);
  // One driver per runtime directory: the marker is taken before anything in the directory changes.
  const std::string runtimeDirectory = trevalon::local::Paths::runtimeDirectory();
  kelvo::driver::RunningMarker running(runtimeDirectory);
  if (std::string failure;
      !kelvo::driver::OwnedFiles::prepareDirectory(runtimeDirectory, 0755, failure) || !running.take(failure)) {
    return fail("cannot use the runtime directory: " + failure);
  }
  if (!driver->prepareRuntimeDirectory()) return fail("cannot use the runtime directory " + runtimeDirectory);
  std::unique_ptr<kelvo::driver::ReaderDiscovery> discovery;
  try {
    discovery = std::make_unique<kelvo::driver::ReaderDiscovery>(chooseBackend(options),
                                                                 std::chrono::milliseconds(options.pollMs));
  } catch (const std::exception& error) {
    return fail(error.what());
  }
  discovery->devices()->addObserver(driver);
  // The readers in range get their sockets in this first look, before systemd hears the driver is ready.
  discovery->poll();
  discovery->start();
  sd_notify(0, "READY=1");

  int signalNumber = 0;
  sigwait(&stopSignals, &signalNumber);
  sd_notify(0, "STOPPING=1");

  discovery->stop();
  driver->stopAll();
  discovery.reset();
  trevalon::local::Facade::instance().setSettings(nullptr);
  return 0;
}
