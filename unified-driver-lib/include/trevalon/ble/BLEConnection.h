// SPDX-License-Identifier: Apache-2.0
#pragma once
// Which Bluetooth LE peers are linked to the local radio right now. A backend feeds it from its radio's link
// events; native readers observe it to learn when their own peer comes and goes. Addresses are 12 lower-case
// hexadecimal digits, the same text form as BLEReaderNative::getAddress, and are compared as plain strings.

#include <list>
#include <mutex>
#include <set>
#include <string>

#include "trevalon/common/Provider.h"
#include "trevalon/common/ScopeTrace.h"

namespace trevalon::ble {

class BLEConnection : public Provider<std::string> {
 public:
  ~BLEConnection() override = default;

  // Repeated events for the same state reach no observer. The backend calls this from its one link-event
  // thread, so a found and a lost of one peer never cross; observers are called without the set's lock and
  // may query the set.
  void setConnected(const std::string& address, bool connected) {
    TREVALON_TRACE_ARGS(address + (connected ? " connected" : " disconnected"));
    {
      std::lock_guard<std::mutex> guard(connectedLock);
      const bool known = connectedSet.count(address) != 0;
      if (connected == known) {
        return;
      }
      if (connected) {
        connectedSet.insert(address);
      } else {
        connectedSet.erase(address);
      }
    }
    if (connected) {
      notifyObservers(&ProviderObserver<std::string>::onFound, address);
    } else {
      notifyObservers(&ProviderObserver<std::string>::onLost, address);
    }
  }

  std::list<std::string> getProvided() const {
    std::lock_guard<std::mutex> guard(connectedLock);
    return std::list<std::string>(connectedSet.begin(), connectedSet.end());
  }

  bool isConnected(const std::string& address) const {
    std::lock_guard<std::mutex> guard(connectedLock);
    return connectedSet.count(address) != 0;
  }

 private:
  std::set<std::string> connectedSet;
  mutable std::mutex connectedLock;
};

}  // namespace trevalon::ble
