// SPDX-License-Identifier: Apache-2.0
#include "JournalLog.h"

#include <sys/stat.h>
#include <unistd.h>

#include <array>
#include <cstdio>
#include <cstdlib>
#include <utility>

namespace kelvo::driver {
namespace {

using trevalon::common::LogLevel;

const std::array<std::pair<const char*, LogLevel>, 6> kLevelNames = {{
    {"error", LogLevel::error},
    {"warning", LogLevel::warning},
    {"notice", LogLevel::notice},
    {"info", LogLevel::info},
    {"debug", LogLevel::debug},
    {"trace", LogLevel::trace},
}};

const std::array<LogLevel, 8> kAllLevels = {LogLevel::trace,   LogLevel::debug, LogLevel::info,     LogLevel::notice,
                                            LogLevel::warning, LogLevel::error, LogLevel::critical, LogLevel::fatal};

}  // namespace

std::optional<LogLevel> JournalLog::parseLevel(const std::string& name) {
  for (const auto& [text, level] : kLevelNames) {
    if (name == text) return level;
  }
  return std::nullopt;
}

const char* JournalLog::levelNames() { return "error, warning, notice, info, debug, trace"; }

int JournalLog::priorityOf(LogLevel level) {
  switch (level) {
    case LogLevel::trace:
    case LogLevel::debug:
      return 7;
    case LogLevel::info:
      return 6;
    case LogLevel::notice:
      return 5;
    case LogLevel::warning:
      return 4;
    case LogLevel::error:
      return 3;
    case LogLevel::critical:
    case LogLevel::fatal:
      return 2;
  }
  return 6;
}

std::string JournalLog::lineFor(LogLevel level, const std::string& libraryLine, bool withoutTimeStamp) {
  std::string line = "<" + std::to_string(priorityOf(level)) + ">";
  line += withoutTimeStamp ? trevalon::common::withoutTimeStamp(libraryLine) : libraryLine;
  if (line.back() != '\n') line += '\n';
  return line;
}

bool JournalLog::standardErrorIsJournal() {
  const char* stream = std::getenv("JOURNAL_STREAM");
  if (stream == nullptr) return false;
  struct stat status {};
  if (fstat(STDERR_FILENO, &status) != 0) return false;
  unsigned long long device = 0;
  unsigned long long inode = 0;
  if (std::sscanf(stream, "%llu:%llu", &device, &inode) != 2) return false;
  return device == status.st_dev && inode == status.st_ino;
}

void JournalLog::enable(LogLevel lowest) {
  const bool journal = standardErrorIsJournal();
  for (LogLevel level : kAllLevels) {
    if (static_cast<uint8_t>(level) < static_cast<uint8_t>(lowest)) continue;
    trevalon::common::addLogSink(
        static_cast<uint8_t>(level),
        [level, journal](const std::string& line) {
          const std::string text = lineFor(level, line, journal);
          // One write per line, so lines of different threads never interleave.
          std::fwrite(text.data(), 1, text.size(), stderr);
        },
        std::string("stderr-") + trevalon::common::logLevelText(level));
  }
}

}  // namespace kelvo::driver
