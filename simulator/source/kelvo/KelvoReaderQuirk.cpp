#include "kelvo/simulator/kelvo/ReaderQuirk.h"

#include <utility>

namespace kelvo::simulator {
namespace {

const std::vector<std::pair<ReaderQuirk, std::string>>& table() {
  static const std::vector<std::pair<ReaderQuirk, std::string>> names = {
      {ReaderQuirk::noSetSettings, "no-set-settings"},
      {ReaderQuirk::noBootloaderRpc, "no-bootloader-rpc"},
      {ReaderQuirk::noSessionKey, "no-session-key"},
      {ReaderQuirk::noSessionKey7, "no-session-key-7"},
      {ReaderQuirk::keyLost, "key-lost"},
      {ReaderQuirk::outOfRandom, "out-of-random"},
      {ReaderQuirk::noMaxRequestSize, "no-max-request-size"},
      {ReaderQuirk::noStateRequest, "no-state-request"},
      {ReaderQuirk::acceptPlain, "accept-plain"},
      {ReaderQuirk::keyLocked, "key-locked"},
  };
  return names;
}

}  // namespace

std::optional<ReaderQuirk> parseReaderQuirk(const std::string& name) {
  for (const auto& entry : table()) {
    if (entry.second == name) return entry.first;
  }
  return std::nullopt;
}

std::string readerQuirkName(ReaderQuirk quirk) {
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
