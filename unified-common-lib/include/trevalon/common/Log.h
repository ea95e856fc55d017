// SPDX-License-Identifier: Apache-2.0
#pragma once
// The library log: the one diagnostic channel of the reader library.
// Every finished line goes to each registered sink; the application registers one at start-up.

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>

namespace trevalon::common {

enum class LogLevel : uint8_t {
  trace = 1,
  debug = 2,
  info = 4,
  notice = 8,
  warning = 16,
  error = 32,
  critical = 64,
  fatal = 128,
};

using LogSink = std::function<void(const std::string& line)>;

// Formats one line and hands it to every sink. A line below 1 means the line carries no source position.
void logLine(LogLevel level, const std::string& message, int line, const char* file);

// The form all library code uses: logs a copy of the message and returns it (so it can be thrown too).
std::string logMessage(LogLevel level, const std::string& message, int line, const char* file, const char* function);

// printf-style formatting into a 256-byte buffer; longer results are replaced by a fixed text.
std::string formatMessage(const char* format, ...) __attribute__((format(printf, 1, 2)));

void addLogSink(uint8_t levelMask, LogSink sink, const std::string& name);

// Records the calling thread's name for the log, and gives it to the OS thread (seen by gdb and top). The name
// is forgotten when the thread ends.
void setThreadName(const std::string& name);
std::string threadName();

// Depth of the calling thread's enabled scope traces; used by ScopeTrace.
void raiseThreadDepth();
void lowerThreadDepth();

// A finished line without its leading time stamp, for sinks whose own output stamps every line (the journal, the
// application's log file); a line that does not start with one is returned whole.
std::string withoutTimeStamp(const std::string& line);

// The level texts written into lines ("Warning ", "ERROR   ", ...); empty for a value that is not a level.
const char* logLevelText(LogLevel level);

// Test seams: a fixed wall clock for the time stamp, and removal of every sink.
using LogClock = std::function<std::chrono::system_clock::time_point()>;
void setLogClockForTesting(LogClock clock);
void clearLogSinksForTesting();
// How many thread names and depths the log keeps, for tests that check they are let go with their threads.
size_t threadEntriesForTesting();

}  // namespace trevalon::common

#define TREVALON_LOG(level, ...)                                                                                      \
  ::trevalon::common::logMessage(::trevalon::common::LogLevel::level, ::trevalon::common::formatMessage(__VA_ARGS__), \
                                 __LINE__, __FILE__, __func__)
