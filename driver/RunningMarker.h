// SPDX-License-Identifier: Apache-2.0
#pragma once
// Tells others that this driver runs: `<runtime directory>/kelvo-driver.pid` holds its pid under an exclusive
// lock for as long as the process lives. A second driver on the same directory finds the lock taken and does
// not start; kelvo-cli tests the lock to tell a running driver that serves no reader from none at all. The
// kernel lets the lock go when the process ends, however it ends, so a stale file never counts.

#include <string>

namespace kelvo::driver {

class RunningMarker {
 public:
  static constexpr const char* kFileName = "kelvo-driver.pid";

  explicit RunningMarker(std::string runtimeDirectory);
  // Removes the file and lets the lock go.
  ~RunningMarker();
  RunningMarker(const RunningMarker&) = delete;
  RunningMarker& operator=(const RunningMarker&) = delete;

  // Takes the lock and writes the pid; false with `failure` set when another driver holds it or the file
  // cannot be used (a link, another owner's file).
  bool take(std::string& failure);

  // Whether a live process holds the lock of the marker in `runtimeDirectory`.
  static bool heldIn(const std::string& runtimeDirectory);

 private:
  const std::string path;
  int fd = -1;
};

}  // namespace kelvo::driver
