// SPDX-License-Identifier: Apache-2.0
#pragma once
// Firmware quirks an emulated reader can be switched to, with the names scenario files use.

#include <optional>
#include <string>
#include <vector>

namespace kelvo::simulator {

enum class KelvoReaderQuirk {
  noSetSettings,     // "no-set-settings": SetSettings answers status 2
  noBootloaderRpc,   // "no-bootloader-rpc": GotoBotloader answers status 2
  noSessionKey,      // "no-session-key": ExchangeSessionKey answers 2, the link runs on AES-ECB
  noSessionKey7,     // "no-session-key-7": ExchangeSessionKey answers 7
  keyLost,           // "key-lost": the long-term key is forgotten whenever the link comes up
  outOfRandom,       // "out-of-random": the first key agreement answers 3 with extended status 3
  noMaxRequestSize,  // "no-max-request-size": MaxRequestSize answers status 2
  noStateRequest,    // "no-state-request": GetDeviceState answers status 2
  acceptPlain,       // "accept-plain": plain requests are served while the encryption setting is on
  keyLocked,         // "key-locked": ExchangeKey answers 7, the reader keeps a key that only a reset clears
};

std::optional<KelvoReaderQuirk> parseReaderQuirk(const std::string& name);
std::string readerQuirkName(KelvoReaderQuirk quirk);
std::vector<std::string> readerQuirkNames();

}  // namespace kelvo::simulator
