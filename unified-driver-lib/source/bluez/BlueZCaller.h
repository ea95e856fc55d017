// SPDX-License-Identifier: Apache-2.0
#pragma once
// Method calls to BlueZ on a bus connection of their own. The connection runs no event loop: each call is
// sent and its answer awaited on the caller's thread, one call at a time, and every call has a time-out, so
// a bluetoothd that vanishes or stalls mid-call fails that call instead of holding a thread. A failed call is
// logged with the D-Bus error's name and message.

#include <chrono>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include <sdbus-c++/sdbus-c++.h>

namespace trevalon::bluez {

class BlueZCaller {
 public:
  using Properties = std::map<std::string, sdbus::Variant>;
  using Interfaces = std::map<std::string, Properties>;
  using ManagedObjects = std::map<sdbus::ObjectPath, Interfaces>;

  static constexpr std::chrono::milliseconds kDefaultTimeout{5000};

  // Null, after an error line, when the system bus cannot be reached.
  static std::shared_ptr<BlueZCaller> connectSystemBus();
  explicit BlueZCaller(std::unique_ptr<sdbus::IConnection> connection);

  // The reply, or nothing when the call failed or timed out. `arguments` are appended in order.
  template <typename... Arguments>
  std::optional<sdbus::MethodReply> call(const std::string& path, const std::string& interface,
                                         const std::string& method, std::chrono::milliseconds timeout,
                                         const Arguments&... arguments) {
    std::lock_guard<std::mutex> guard(lock);
    try {
      auto proxy = sdbus::createProxy(*connection, kService, path);
      sdbus::MethodCall message = proxy->createMethodCall(interface, method);
      if constexpr (sizeof...(Arguments) > 0) (message << ... << arguments);
      return proxy->callMethod(message, static_cast<uint64_t>(timeout.count()) * 1000);
    } catch (const sdbus::Error& error) {
      logFailure(interface, method, path, error);
      return std::nullopt;
    }
  }

  std::optional<ManagedObjects> managedObjects();
  std::optional<sdbus::Variant> property(const std::string& path, const std::string& interface,
                                         const std::string& name);

  static const std::string kService;

 private:
  static void logFailure(const std::string& interface, const std::string& method, const std::string& path,
                         const sdbus::Error& error);

  std::mutex lock;
  std::unique_ptr<sdbus::IConnection> connection;
};

}  // namespace trevalon::bluez
