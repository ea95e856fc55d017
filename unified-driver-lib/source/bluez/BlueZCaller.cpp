// SPDX-License-Identifier: Apache-2.0
#include "BlueZCaller.h"

#include "trevalon/common/Log.h"
#include "trevalon/common/ScopeTrace.h"

namespace trevalon::bluez {

const std::string BlueZCaller::kService = "org.bluez";

std::shared_ptr<BlueZCaller> BlueZCaller::connectSystemBus() {
  TREVALON_TRACE_QUIET();
  try {
    return std::make_shared<BlueZCaller>(sdbus::createSystemBusConnection());
  } catch (const sdbus::Error& error) {
    TREVALON_LOG(error, "cannot connect to the system bus: %s: %s", error.getName().c_str(),
                 error.getMessage().c_str());
    return nullptr;
  }
}

BlueZCaller::BlueZCaller(std::unique_ptr<sdbus::IConnection> connection) : connection(std::move(connection)) {}

std::optional<BlueZCaller::ManagedObjects> BlueZCaller::managedObjects() {
  TREVALON_TRACE_QUIET();
  std::optional<sdbus::MethodReply> reply =
      call("/", "org.freedesktop.DBus.ObjectManager", "GetManagedObjects", kDefaultTimeout);
  if (!reply) return std::nullopt;
  try {
    ManagedObjects objects;
    *reply >> objects;
    return objects;
  } catch (const sdbus::Error& error) {
    logFailure("org.freedesktop.DBus.ObjectManager", "GetManagedObjects", "/", error);
    return std::nullopt;
  }
}

std::optional<sdbus::Variant> BlueZCaller::property(const std::string& path, const std::string& interface,
                                                    const std::string& name) {
  TREVALON_TRACE_QUIET();
  std::optional<sdbus::MethodReply> reply =
      call(path, "org.freedesktop.DBus.Properties", "Get", kDefaultTimeout, interface, name);
  if (!reply) return std::nullopt;
  try {
    sdbus::Variant value;
    *reply >> value;
    return value;
  } catch (const sdbus::Error& error) {
    logFailure("org.freedesktop.DBus.Properties", "Get", path, error);
    return std::nullopt;
  }
}

void BlueZCaller::logFailure(const std::string& interface, const std::string& method, const std::string& path,
                             const sdbus::Error& error) {
  TREVALON_LOG(error, "%s.%s(%s) failed: %s: %s", interface.c_str(), method.c_str(), path.c_str(),
               error.getName().c_str(), error.getMessage().c_str());
}

}  // namespace trevalon::bluez
