// SPDX-License-Identifier: Apache-2.0
#include "IfdLog.h"

#include <cstdio>

namespace kelvo::ifd {

void logFailure(const std::string& message) {
  // One write per line, so lines of readers served at once do not interleave.
  const std::string line = "kelvo-ifd: " + message + "\n";
  std::fputs(line.c_str(), stderr);
  std::fflush(stderr);
}

}  // namespace kelvo::ifd
