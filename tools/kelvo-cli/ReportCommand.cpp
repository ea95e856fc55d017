// SPDX-License-Identifier: Apache-2.0
#include "ReportCommand.h"

#include <sys/utsname.h>

#include <cstdio>
#include <cstdlib>
#include <deque>
#include <fstream>
#include <optional>

#include "DriverCommands.h"
#include "Output.h"
#include "kelvo/Version.h"
#include "trevalon/classic/DevicePipe.h"
#include "trevalon/local/Paths.h"

namespace kelvo::cli {
namespace {

using trevalon::classic::DevicePipe;

// One reader: its address, then its descriptor and state, indented, in text; an object in JSON.
void reportReader(const std::string& address, const std::optional<TextFormat::DescriptorItems>& descriptor,
                  const std::optional<std::vector<TextFormat::Field>>& state) {
  std::string text = "reader = " + address;
  nlohmann::json object = {{"address", address}, {"descriptor", nullptr}, {"state", nullptr}};
  if (descriptor) {
    object["descriptor"] = nlohmann::json::object();
    for (const auto& [key, value] : *descriptor) {
      text += "\n  " + key + " = " + value;
      object["descriptor"][key] = value;
    }
  } else {
    text += "\n  descriptor = unavailable";
  }
  if (state) {
    object["state"] = nlohmann::json::object();
    for (const TextFormat::Field& field : *state) {
      text += "\n  " + field.key + " = " + field.text;
      object["state"][field.key] = field.value;
    }
  } else {
    text += "\n  state = unavailable";
  }
  Output::row("readers", text, object);
}

bool isProblemLine(const std::string& line) {
  return line.find(" Warning ") != std::string::npos || line.find(" ERROR ") != std::string::npos ||
         line.find(" CRITICAL") != std::string::npos || line.find(" FATAL") != std::string::npos;
}

}  // namespace

int ReportCommand::run() {
  reportSystem();
  if (emulated) {
    reportEmulatedReaders();
  } else {
    reportDriverReaders();
    reportRecentProblems();
  }
  return 0;
}

void ReportCommand::reportSystem() {
  Output::field("kelvo-cli", KELVO_VERSION);
  utsname system{};
  if (::uname(&system) == 0) {
    Output::field("system", std::string(system.sysname) + " " + system.release + " " + system.machine);
  }
  const char* backend = std::getenv("KELVO_BLE_BACKEND");
  Output::field("radio", emulated ? "emulated" : (backend != nullptr && *backend != '\0' ? backend : "bluez"));
  Output::field("runtime-directory", driver.directory());
  Output::field("settings-directory", trevalon::local::Paths::settingsDirectory());
  const bool running = driver.driverRunning();
  Output::field("driver", running ? "running" : "not running");
  const std::vector<std::string> served = running ? driver.addresses() : std::vector<std::string>();
  std::optional<std::string> version;
  const DriverCommands commands(driver);
  for (const std::string& address : served) {
    if ((version = commands.driverVersion(address))) break;
  }
  Output::field("driver-version", version.value_or("unknown"), version ? nlohmann::json(*version) : nullptr);
}

void ReportCommand::reportDriverReaders() {
  if (!driver.driverRunning()) return;
  const DriverCommands commands(driver);
  for (const std::string& address : driver.addresses()) {
    reportReader(address, commands.descriptorQuietly(address), commands.stateQuietly(address));
  }
}

void ReportCommand::reportEmulatedReaders() {
  for (const std::shared_ptr<trevalon::Device>& device : emulated->devices()) {
    std::optional<TextFormat::DescriptorItems> descriptor;
    std::optional<std::vector<TextFormat::Field>> state;
    if (emulated->waitAvailable(device, ReaderSession::kAvailabilityWait)) {
      std::vector<uint8_t> bytes;
      if (DevicePipe::InvokeGetDeviceDescriptor(device, bytes) == DevicePipe::kSuccess) {
        descriptor = TextFormat::descriptorItems(bytes);
      }
      std::vector<uint8_t> record;
      if (DevicePipe::InvokeGetDeviceState(device, record) == DevicePipe::kSuccess) {
        state = TextFormat::stateFields(record);
      }
    }
    reportReader(device->getAddress(), descriptor, state);
  }
}

// The driver's last warnings and errors: from its own log file when it writes one and we may read it, and from
// the journal when journalctl lets us.
void ReportCommand::reportRecentProblems() {
  std::deque<std::string> recent;
  std::ifstream log(trevalon::local::Paths::dataDirectory() + "/driver.log");
  for (std::string line; std::getline(log, line);) {
    if (!isProblemLine(line)) continue;
    recent.push_back(line);
    if (recent.size() > kRecentLines) recent.pop_front();
  }
  for (const std::string& line : recent) Output::row("recent", "recent = " + line, line);
  // A fixed command line: nothing of the environment or the arguments reaches the shell.
  std::FILE* journal = ::popen(
      "journalctl --unit=kelvo-driver.service --priority=warning --lines=20 --output=short-iso --no-pager --quiet "
      "2>/dev/null",
      "r");
  if (journal == nullptr) return;
  char buffer[1024];
  while (std::fgets(buffer, sizeof buffer, journal) != nullptr) {
    std::string line(buffer);
    if (!line.empty() && line.back() == '\n') line.pop_back();
    if (line.empty() || line.rfind("-- ", 0) == 0) continue;
    Output::row("recent", "recent = " + line, line);
  }
  ::pclose(journal);
}

}  // namespace kelvo::cli
