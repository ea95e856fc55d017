// SPDX-License-Identifier: Apache-2.0
#pragma once
// The driver's log on standard error, where systemd hands it to the journal: each line starts with its syslog
// priority ("<3>" for an error, ...), so journalctl keeps the level, and lines below the chosen level are left out.
// Under the journal, which stamps every line itself, the library's own time stamp is dropped.

#include <optional>
#include <string>

#include "trevalon/common/Log.h"

namespace kelvo::driver {

class JournalLog {
 public:
  static constexpr trevalon::common::LogLevel kDefaultLevel = trevalon::common::LogLevel::info;

  // "error", "warning", "notice", "info", "debug" or "trace"; nothing for any other text.
  static std::optional<trevalon::common::LogLevel> parseLevel(const std::string& name);
  // The names parseLevel takes, for usage texts.
  static const char* levelNames();
  // The syslog priority journald reads for a level.
  static int priorityOf(trevalon::common::LogLevel level);
  // A library line as it goes to standard error.
  static std::string lineFor(trevalon::common::LogLevel level, const std::string& libraryLine, bool withoutTimeStamp);
  // Whether standard error is the journal's stream (systemd sets JOURNAL_STREAM to its device and inode).
  static bool standardErrorIsJournal();
  // Registers one sink per level from `lowest` up.
  static void enable(trevalon::common::LogLevel lowest);
};

}  // namespace kelvo::driver
