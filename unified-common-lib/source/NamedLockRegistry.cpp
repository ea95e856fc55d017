// SPDX-License-Identifier: Apache-2.0
#include "trevalon/common/NamedLock.h"

#include <map>
#include <memory>

namespace trevalon::common {

std::mutex& NamedLockRegistry::mutexFor(const std::string& name) {
  static std::mutex* registryLock = new std::mutex();
  static auto* registry = new std::map<std::string, std::unique_ptr<std::mutex>>();
  std::lock_guard<std::mutex> guard(*registryLock);
  std::unique_ptr<std::mutex>& entry = (*registry)[name];
  if (!entry) {
    entry = std::make_unique<std::mutex>();
  }
  return *entry;
}

}  // namespace trevalon::common
