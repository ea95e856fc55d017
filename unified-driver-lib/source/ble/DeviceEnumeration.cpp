// SPDX-License-Identifier: Apache-2.0
#include "trevalon/ble/DeviceEnumeration.h"

#include <vector>

namespace trevalon::ble {

void DeviceEnumeration::pollWithLosses() {
  {
    std::lock_guard<std::mutex> guard(seenLock);
    seen.clear();
    pollFailed = false;
  }
  update();
  std::vector<ProvidedDevice> gone;
  {
    std::lock_guard<std::mutex> guard(seenLock);
    if (pollFailed) return;
    for (const ProvidedDevice& item : getProvided()) {
      if (seen.count(item.path) == 0) gone.push_back(item);
    }
  }
  // Outside the lock: the loss travels up the chain, whose observers take locks of their own.
  for (const ProvidedDevice& item : gone) onLost(item);
}

void DeviceEnumeration::markPollFailed() {
  std::lock_guard<std::mutex> guard(seenLock);
  pollFailed = true;
}

void DeviceEnumeration::onFound(const ProvidedDevice& item) {
  {
    std::lock_guard<std::mutex> guard(seenLock);
    seen.insert(item.path);
  }
  common::ProviderRunnable<ProvidedDevice>::onFound(item);
}

}  // namespace trevalon::ble
