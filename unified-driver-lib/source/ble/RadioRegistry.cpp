// SPDX-License-Identifier: Apache-2.0
#include "trevalon/ble/RadioRegistry.h"

#include "trevalon/ble/BackendError.h"
#include "trevalon/bluez/RadioBlueZ.h"

namespace trevalon::ble {

RadioRegistry& RadioRegistry::instance() {
  static RadioRegistry registry;
  return registry;
}

// The platform's own radio is the one every build has.
RadioRegistry::RadioRegistry() {
  kinds["bluez"] =
      Kind{"", "", [](const std::string&) -> std::unique_ptr<Radio> { return bluez::RadioBlueZ::create(); }};
}

void RadioRegistry::add(const std::string& name, Kind kind) {
  std::lock_guard<std::mutex> guard(lock);
  kinds[name] = std::move(kind);
}

RadioRegistry::Kind RadioRegistry::find(const std::string& name) const {
  std::lock_guard<std::mutex> guard(lock);
  auto kind = kinds.find(name);
  if (kind != kinds.end()) return kind->second;
  std::string known;
  for (const auto& entry : kinds) known += (known.empty() ? "" : ", ") + entry.first;
  throw BackendError("this build has no radio \"" + name + "\" (it has: " + known + ")");
}

}  // namespace trevalon::ble
