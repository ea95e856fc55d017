// SPDX-License-Identifier: Apache-2.0
#include "trevalon/local/Paths.h"

#include <cstdlib>

namespace trevalon::local {
namespace {

std::string fromEnvironment(const char* variable, const std::string& fallback) {
  const char* value = std::getenv(variable);
  return (value != nullptr && *value != '\0') ? std::string(value) : fallback;
}

}  // namespace

std::string Paths::dataDirectory() { return fromEnvironment("TREVALON_DATA_DIR", "/var/lib/trevalon"); }

std::string Paths::runtimeDirectory() { return fromEnvironment("TREVALON_RUNTIME_DIR", "/run/trevalon"); }

std::string Paths::settingsDirectory() { return fromEnvironment("TREVALON_SETTINGS_DIR", dataDirectory() + "/driver"); }

}  // namespace trevalon::local
