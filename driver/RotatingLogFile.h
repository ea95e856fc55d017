// SPDX-License-Identifier: Apache-2.0
#pragma once
// The driver's log file: lines are appended until the file reaches its limit, then it is renamed to
// "<path>.1" (replacing the older one) and a new file begins, so the two never take more than twice the limit.
// Both files are the driver's, mode 0640 with the driver's group when the machine has it, and never opened through
// a symbolic link: the log may name readers and users, and the driver writes it as root.

#include <sys/types.h>

#include <cstdio>
#include <mutex>
#include <optional>
#include <string>

#include "DriverGroup.h"

namespace kelvo::driver {

class RotatingLogFile {
 public:
  static constexpr size_t kDefaultLimit = size_t{4} * 1024 * 1024;
  static constexpr mode_t kMode = 0640;

  explicit RotatingLogFile(std::string path, size_t limitBytes = kDefaultLimit,
                           const std::string& groupName = DriverGroup::kName);
  ~RotatingLogFile();
  RotatingLogFile(const RotatingLogFile&) = delete;
  RotatingLogFile& operator=(const RotatingLogFile&) = delete;

  bool isOpen();
  void write(const std::string& line);

  // Sends the library log to the file at `<data directory>/driver.log` when the logging marker file exists
  // there; answers whether it does. The file lives as long as the process.
  static bool enableIfMarked(const std::string& dataDirectory);

 private:
  bool openLocked();
  void rotateLocked();
  static void reportFailure(const std::string& failure);

  const std::string path;
  const size_t limit;
  const std::optional<gid_t> group;
  std::mutex lock;
  std::FILE* file = nullptr;
  size_t size = 0;
};

}  // namespace kelvo::driver
