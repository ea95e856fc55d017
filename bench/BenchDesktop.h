// SPDX-License-Identifier: Apache-2.0
#pragma once
// A private desktop for benchmarks of the real program: an Xvfb display, a session bus, a tray host and a scratch
// directory for the program's run-time folders, started once per benchmark program and stopped at its end.

#include <sys/types.h>

#include <string>
#include <vector>

namespace bench {

// Starts a program with its output going to /dev/null; `keepFd` names a pipe it reports on, if any.
pid_t spawn(const std::vector<std::string>& command, int keepFd = -1);
// Ends a program started with spawn and waits for it.
void stop(pid_t pid);
std::string makeDirectory(const std::string& pattern);

class BenchDesktop {
 public:
  static BenchDesktop& instance();
  BenchDesktop(const BenchDesktop&) = delete;
  BenchDesktop& operator=(const BenchDesktop&) = delete;

  // The scratch directory; XDG_RUNTIME_DIR, XDG_CONFIG_HOME, XDG_STATE_HOME and TREVALON_DATA_DIR point into it.
  const std::string& root() const { return directory; }

 private:
  BenchDesktop();
  ~BenchDesktop();

  pid_t xvfb = -1;
  pid_t bus = -1;
  pid_t tray = -1;
  std::string directory;
};

}  // namespace bench
