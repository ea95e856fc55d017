// SPDX-License-Identifier: Apache-2.0
#include "kelvo/simulator/kelvo/KelvoReaderQuirk.h"

#include <utility>

namespace kelvo::simulator {
namespace {

const std::vector<std::pair<KelvoReaderQuirk, std::string>>& table() {
  static const std::vector<std::pair<KelvoReaderQuirk, std::string>> names = {
      {KelvoReaderQuirk::noSetSettings, "no-set-settings"},
      {KelvoReaderQuirk::noBootloaderRpc, "no-bootloader-rpc"},
      {KelvoReaderQuirk::noSessionKey, "no-session-key"},
      {KelvoReaderQuirk::noSessionKey7, "no-session-key-7"},
      {KelvoReaderQuirk::keyLost, "key-lost"},
      {KelvoReaderQuirk::outOfRandom, "out-of-random"},
      {KelvoReaderQuirk::noMaxRequestSize, "no-max-request-size"},
      {KelvoReaderQuirk::noStateRequest, "no-state-request"},
      {KelvoReaderQuirk::acceptPlain, "accept-plain"},
      {KelvoReaderQuirk::keyLocked, "key-locked"},
  };
  return names;
}

}  // namespace

std::optional<KelvoReaderQuirk> parseReaderQuirk(const std::string& name) {
  for (const auto& entry : table()) {
    if (entry.second == name) return entry.first;
  }
  return std::nullopt;
}

std::string readerQuirkName(KelvoReaderQuirk quirk) {
  for (const auto& entry : table()) {
    if (entry.first == quirk) return entry.second;
  }
  return "?";
}

std::vector<std::string> readerQuirkNames() {
  std::vector<std::string> names;
  for (const auto& entry : table()) names.push_back(entry.second);
  return names;
}

}  // namespace kelvo::simulator
