// SPDX-License-Identifier: Apache-2.0
#pragma once
// A scoped lock whose requesting, locking and unlocking appear in the log under a name. The mutex is either
// the process-wide one registered under that name (created on first use, never removed) or one the caller
// owns, in which case the name only labels the log lines.

#include <mutex>
#include <string>

#include "trevalon/common/Log.h"

namespace trevalon::common {

class NamedLockRegistry {
 public:
  static std::mutex& mutexFor(const std::string& name);
};

template <typename Mutex = std::mutex>
class NamedLock {
 public:
  NamedLock(std::string name, int line, const char* file, Mutex& mutex)
      : name(std::move(name)), line(line), file(file), mutex(mutex) {
    logLine(LogLevel::debug, formatMessage("??? \"%s\" requested", this->name.c_str()), line, file);
    mutex.lock();
    logLine(LogLevel::debug, formatMessage("+++ \"%s\" locked", this->name.c_str()), line, file);
  }
  NamedLock(const NamedLock&) = delete;
  NamedLock& operator=(const NamedLock&) = delete;
  ~NamedLock() {
    logLine(LogLevel::debug, formatMessage("--- \"%s\" unlocked", name.c_str()), line, file);
    mutex.unlock();
  }

 private:
  std::string name;
  int line;
  const char* file;
  Mutex& mutex;
};

}  // namespace trevalon::common

// Locks the registry's mutex of that name for the rest of the scope.
#define TREVALON_NAMED_LOCK(variable, name)                          \
  ::trevalon::common::NamedLock<> variable(name, __LINE__, __FILE__, \
                                           ::trevalon::common::NamedLockRegistry::mutexFor(name))
// Locks the caller's own mutex, labelled with a name in the log.
#define TREVALON_LABELLED_LOCK(variable, name, mutex) \
  ::trevalon::common::NamedLock<std::remove_reference_t<decltype(mutex)>> variable(name, __LINE__, __FILE__, mutex)
