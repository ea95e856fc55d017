// SPDX-License-Identifier: Apache-2.0
#include "FirmwareReport.h"

#include <cstdlib>

#include "Commands.h"
#include "Output.h"
#include "trevalon/firmware/FirmwareFlasher.h"

namespace kelvo::cli {

std::vector<std::string> FirmwareReport::defaultFolders() {
  std::string cache;
  if (const char* xdg = std::getenv("XDG_CACHE_HOME"); xdg != nullptr && *xdg != '\0') {
    cache = xdg;
  } else if (const char* home = std::getenv("HOME"); home != nullptr) {
    cache = std::string(home) + "/.cache";
  }
  std::vector<std::string> folders;
  if (!cache.empty()) folders.push_back(cache + "/kelvo-central/Firmware");
  folders.emplace_back("Firmware");
  folders.emplace_back(KELVO_SHIPPED_FIRMWARE_DIR);
  return folders;
}

bool FirmwareReport::parseFolders(const std::vector<std::string>& options, std::vector<std::string>& folders) {
  for (size_t index = 0; index < options.size(); ++index) {
    if (options[index] != "--catalogue" || index + 1 == options.size()) {
      Commands::fail("firmware takes ADDR [--catalogue DIR]...");
      return false;
    }
    folders.push_back(options[++index]);
  }
  return true;
}

int FirmwareReport::print(const std::vector<std::pair<std::string, std::string>>& descriptor,
                          const std::vector<std::string>& folders) {
  trevalon::FirmwareFlasher catalogue;
  for (const std::string& folder : folders) catalogue.load(folder);
  Output::field("candidates", std::to_string(catalogue.firmwares().size()), catalogue.firmwares().size());

  trevalon::FirmwareFlasher::Reader reader;
  for (const auto& item : descriptor) reader.values[item.first] = item.second;
  reader.displayName = "Kelvo " + reader.value("Serial");
  reader.debug = [](const std::string& line) { Output::row("log", line, line); };
  reader.error = [](const std::string& line) { Output::row("log", "error: " + line, "error: " + line); };
  Output::field("installed", reader.value("Firmware"));
  const std::shared_ptr<trevalon::Firmware> update = catalogue.findUpdate(reader, {"ble", "usb"});
  if (update) {
    Output::field("update", update->id + " " + update->version.toString(),
                  {{"id", update->id}, {"version", update->version.toString()}});
  } else {
    Output::field("update", "none", nullptr);
  }
  return 0;
}

}  // namespace kelvo::cli
