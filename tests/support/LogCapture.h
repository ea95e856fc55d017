// SPDX-License-Identifier: Apache-2.0
#pragma once
// Collects every library log line written while it lives. Tests use one capture at a time.

#include <algorithm>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "trevalon/common/Log.h"

namespace kelvo::test {

class LogCapture {
 public:
  LogCapture() : store(std::make_shared<Store>()) {
    trevalon::common::clearLogSinksForTesting();
    std::shared_ptr<Store> target = store;
    trevalon::common::addLogSink(
        0xFF,
        [target](const std::string& line) {
          std::lock_guard<std::mutex> guard(target->lock);
          target->lines.push_back(line);
        },
        "");
  }
  ~LogCapture() { trevalon::common::clearLogSinksForTesting(); }

  std::vector<std::string> lines() const {
    std::lock_guard<std::mutex> guard(store->lock);
    return store->lines;
  }

  void clear() {
    std::lock_guard<std::mutex> guard(store->lock);
    store->lines.clear();
  }

  // Lines that contain every one of the given fragments.
  size_t count(const std::string& fragment) const {
    std::lock_guard<std::mutex> guard(store->lock);
    return static_cast<size_t>(std::count_if(store->lines.begin(), store->lines.end(), [&](const std::string& line) {
      return line.find(fragment) != std::string::npos;
    }));
  }

  bool contains(const std::string& fragment) const { return count(fragment) > 0; }

  // Lines of that level text ("ERROR", "Warning", ...) whose message, at any nesting depth, starts with `message`.
  size_t countAt(const std::string& level, const std::string& message) const {
    std::lock_guard<std::mutex> guard(store->lock);
    size_t hits = 0;
    for (const std::string& line : store->lines) {
      const size_t field = line.find("] ");
      if (field == std::string::npos || line.compare(field + 2, level.size(), level) != 0) continue;
      const size_t text = line.find_first_not_of(' ', field + 2 + level.size());
      if (text != std::string::npos && line.compare(text, message.size(), message) == 0) ++hits;
    }
    return hits;
  }
  bool containsAt(const std::string& level, const std::string& message) const { return countAt(level, message) > 0; }

 private:
  struct Store {
    std::mutex lock;
    std::vector<std::string> lines;
  };
  std::shared_ptr<Store> store;
};

}  // namespace kelvo::test
