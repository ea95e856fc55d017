// SPDX-License-Identifier: Apache-2.0
#include "devices/DriverServedFilter.h"

#include <algorithm>
#include <cctype>

using Observer = trevalon::ProviderObserver<DriverServedFilter::Native>;

std::string DriverServedFilter::addressKey(const std::string& address) {
  std::string key;
  for (char character : address) {
    if (character != ':') key += static_cast<char>(std::tolower(static_cast<unsigned char>(character)));
  }
  return key;
}

bool DriverServedFilter::isHeldBack(const Native& native) const {
  return heldBack.count(addressKey(native->getAddress())) != 0;
}

// Notifications go up under the lock, so that the provider above sees found and lost of one reader in order.
void DriverServedFilter::onFound(const Native& native) {
  if (!native) return;
  std::lock_guard<std::mutex> guard(lock);
  present[native.get()] = native;
  if (isHeldBack(native) || passedOn.count(native.get()) != 0) return;
  passedOn.insert(native.get());
  notifyObservers(&Observer::onFound, native);
}

void DriverServedFilter::onLost(const Native& native) {
  if (!native) return;
  std::lock_guard<std::mutex> guard(lock);
  present.erase(native.get());
  if (passedOn.erase(native.get()) != 0) notifyObservers(&Observer::onLost, native);
}

void DriverServedFilter::setHeldBack(const std::set<std::string>& addresses) {
  std::lock_guard<std::mutex> guard(lock);
  if (addresses == heldBack) return;
  heldBack = addresses;
  for (const auto& entry : present) {
    const Native& native = entry.second;
    const bool passed = passedOn.count(entry.first) != 0;
    if (isHeldBack(native) && passed) {
      passedOn.erase(entry.first);
      notifyObservers(&Observer::onLost, native);
    } else if (!isHeldBack(native) && !passed) {
      passedOn.insert(entry.first);
      notifyObservers(&Observer::onFound, native);
    }
  }
}
