// SPDX-License-Identifier: Apache-2.0
#pragma once
// A D-Bus daemon of kelvo-sim's own, for a run without a bus given in DBUS_SYSTEM_BUS_ADDRESS; it ends with
// this object.

#include <sys/types.h>

#include <string>

namespace kelvo::kelvo_sim {

class PrivateBus {
 public:
  // Throws std::runtime_error when dbus-daemon cannot be started.
  PrivateBus();
  ~PrivateBus();
  PrivateBus(const PrivateBus&) = delete;
  PrivateBus& operator=(const PrivateBus&) = delete;

  const std::string& address() const { return busAddress; }
  pid_t pid() const { return daemon; }

 private:
  pid_t daemon = -1;
  std::string busAddress;
};

}  // namespace kelvo::kelvo_sim
