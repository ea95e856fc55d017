// SPDX-License-Identifier: Apache-2.0
// kelvo-driver: owns the readers through the library and serves each reader's requests on a socket of its own.

#include <signal.h>

#include <cstdlib>
#include <iostream>
#include <memory>
#include <string>
#include <vector>

#include "Driver.h"
#include "LoginSeatSessions.h"
#include "OwnedFiles.h"
#include "PeerPolicy.h"
#include "ReaderDiscovery.h"
#include "RotatingLogFile.h"
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
    "usage: kelvo-driver [--verbose] [--scenario FILE] [--poll-interval MS] [--ifd-handler PATH]\n"
    "  --scenario FILE       readers of a scenario file on the simulated radio (default: BlueZ on the system bus)\n"
    "  --poll-interval MS    how often readers are looked for (default 1000)\n"
    "  --ifd-handler PATH    the IFD handler pcscd's reader list names (default " KELVO_IFD_HANDLER_PATH
    ")\n"
    "  --verbose             the library log on standard error\n"
    "Without --scenario, KELVO_BLE_BACKEND=sim with KELVO_SIM_SCENARIO=FILE selects a scenario too\n"
    "(development builds only).\n"
    "Sockets and pcscd's reader list (pcsc-readers.conf) go to $TREVALON_RUNTIME_DIR, settings to\n"
    "$TREVALON_SETTINGS_DIR; runs until SIGTERM or SIGINT.\n";

struct Options {
  std::string scenario;
  std::string ifdHandler = KELVO_IFD_HANDLER_PATH;
  bool verbose = false;
  long pollMs = 1000;
};

int fail(const std::string& message) {
  std::cerr << "kelvo-driver: " << message << std::endl;
  return 1;
}

bool parse(std::vector<std::string> args, Options& options) {
  while (!args.empty()) {
    if (args.front() == "--verbose") {
      options.verbose = true;
      args.erase(args.begin());
    } else if ((args.front() == "--scenario" || args.front() == "--poll-interval" || args.front() == "--ifd-handler") &&
               args.size() >= 2) {
      if (args.front() == "--scenario") {
        options.scenario = args[1];
      } else if (args.front() == "--ifd-handler") {
        options.ifdHandler = args[1];
        if (options.ifdHandler.empty() || options.ifdHandler.front() != '/') return false;
      } else {
        char* end = nullptr;
        options.pollMs = std::strtol(args[1].c_str(), &end, 10);
        if (*end != '\0' || options.pollMs < 10 || options.pollMs > 600000) return false;
      }
      args.erase(args.begin(), args.begin() + 2);
    } else {
      return false;
    }
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
  const std::vector<std::string> args(argv + 1, argv + argc);
  if (!args.empty() && args.front() == "--help") {
    std::cout << kUsage;
    return 0;
  }
  if (!parse(args, options)) {
    std::cerr << kUsage;
    return 2;
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

  if (options.verbose) {
    trevalon::common::addLogSink(
        0xFF, [](const std::string& line) { std::cerr << line << std::flush; }, "stderr");
  }
  kelvo::driver::RotatingLogFile::enableIfMarked(trevalon::local::Paths::dataDirectory());
  if (!prepareSettings()) {
    return fail("cannot use the settings directory " + trevalon::local::Paths::settingsDirectory());
  }
  auto policy = std::make_shared<kelvo::driver::PeerPolicy>(std::make_shared<kelvo::driver::LoginSeatSessions>());
  auto driver = std::make_shared<kelvo::driver::Driver>(trevalon::local::Paths::runtimeDirectory(), policy,
                                                        kelvo::driver::ReaderSocketLimits(), options.ifdHandler);
  if (!driver->prepareRuntimeDirectory()) {
    return fail("cannot use the runtime directory " + trevalon::local::Paths::runtimeDirectory());
  }
  std::unique_ptr<kelvo::driver::ReaderDiscovery> discovery;
  try {
    discovery = std::make_unique<kelvo::driver::ReaderDiscovery>(chooseBackend(options),
                                                                 std::chrono::milliseconds(options.pollMs));
  } catch (const std::exception& error) {
    return fail(error.what());
  }
  discovery->devices()->addObserver(driver);
  discovery->start();

  int signalNumber = 0;
  sigwait(&stopSignals, &signalNumber);

  discovery->stop();
  driver->stopAll();
  discovery.reset();
  trevalon::local::Facade::instance().setSettings(nullptr);
  return 0;
}
