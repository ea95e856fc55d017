// SPDX-License-Identifier: Apache-2.0
#include "trevalon/bluez/ProviderBlueZ.h"

#include <algorithm>

#include "BlueZCaller.h"
#include "BlueZNames.h"
#include "trevalon/common/Log.h"
#include "trevalon/common/ScopeTrace.h"

namespace trevalon::bluez {

ProviderBlueZ::ProviderBlueZ(ble::Uuid interfaceClass) : interfaceClass(interfaceClass) {}

// The poller ends before the caller it uses goes.
ProviderBlueZ::~ProviderBlueZ() { stop(); }

std::shared_ptr<BlueZCaller> ProviderBlueZ::reachBus() {
  // The bus may not have been there before; each poll tries to reach it again.
  std::lock_guard<std::mutex> guard(callerLock);
  if (!caller) caller = BlueZCaller::connectSystemBus();
  return caller;
}

void ProviderBlueZ::update() {
  TREVALON_TRACE();
  std::shared_ptr<BlueZCaller> bus = reachBus();
  std::optional<BlueZCaller::ManagedObjects> objects = bus ? bus->managedObjects() : std::nullopt;
  if (!objects) {
    markPollFailed();
    return;
  }
  const std::string wanted = interfaceClass.toString();
  for (const auto& [path, interfaces] : *objects) {
    auto device = interfaces.find(BlueZNames::kDevice);
    if (device == interfaces.end()) continue;
    const BlueZCaller::Properties& properties = device->second;
    auto uuids = properties.find("UUIDs");
    auto address = properties.find("Address");
    if (uuids == properties.end() || !uuids->second.containsValueOfType<std::vector<std::string>>()) continue;
    if (address == properties.end() || !address->second.containsValueOfType<std::string>()) continue;
    std::vector<std::string> offered = uuids->second.get<std::vector<std::string>>();
    const bool offers = std::any_of(offered.begin(), offered.end(), [&wanted](std::string uuid) {
      std::transform(uuid.begin(), uuid.end(), uuid.begin(), [](unsigned char c) { return std::tolower(c); });
      return uuid == wanted;
    });
    if (!offers) continue;
    std::optional<std::string> libraryAddress = BlueZNames::libraryAddress(address->second.get<std::string>());
    if (!libraryAddress) {
      TREVALON_LOG(warning, "device %s has no usable address", path.c_str());
      continue;
    }
    std::string name;
    auto nameProperty = properties.find("Name");
    if (nameProperty != properties.end() && nameProperty->second.containsValueOfType<std::string>()) {
      name = nameProperty->second.get<std::string>();
    }
    onFound(ble::ProvidedDevice{path, *libraryAddress, name});
  }
}

}  // namespace trevalon::bluez
