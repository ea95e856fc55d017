// SPDX-License-Identifier: Apache-2.0
#pragma once
// Firmware quirks an emulated Pentaloq reader can be switched to, with the names scenario files use.

#include <optional>
#include <string>
#include <vector>

namespace kelvo::simulator {

enum class PentaloqQuirk {
  keyLocked,     // "key-locked": a set of the key answers 3; the reader shows its own short key instead
  keyLost,       // "key-lost": the key is forgotten whenever the link comes up
  wideVersion,   // "wide-version": GetFirmware and GetHardware answer two bytes
  plainAnswers,  // "plain-answers": encrypted requests are answered in plain
};

std::optional<PentaloqQuirk> parsePentaloqQuirk(const std::string& name);
std::vector<std::string> pentaloqQuirkNames();

}  // namespace kelvo::simulator
