// SPDX-License-Identifier: Apache-2.0
#pragma once
// Where the library and the driver keep their files; each can be moved by an environment variable.

#include <string>

namespace trevalon::local {

class Paths {
 public:
  // $TREVALON_DATA_DIR, default /var/lib/trevalon: logging marker, *.log files.
  static std::string dataDirectory();
  // $TREVALON_RUNTIME_DIR, default /run/trevalon: the driver's sockets.
  static std::string runtimeDirectory();
  // $TREVALON_SETTINGS_DIR, default <data directory>/driver: the library's settings store.
  static std::string settingsDirectory();
};

}  // namespace trevalon::local
