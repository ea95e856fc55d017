// SPDX-License-Identifier: Apache-2.0
#include "trevalon/common/Log.h"

#include <pthread.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <algorithm>
#include <cstdarg>
#include <cstdio>
#include <ctime>
#include <iomanip>
#include <map>
#include <mutex>
#include <sstream>
#include <vector>

namespace trevalon::common {
namespace {

constexpr size_t kThreadNameWidth = 9;
constexpr size_t kFormatBufferSize = 256;

struct SinkEntry {
  uint8_t levelMask;
  LogSink sink;
};

// Process-wide tables, created on first use and never destroyed so that threads still running at exit can log.
struct LogState {
  std::mutex sinkLock;
  std::vector<SinkEntry> sinks;
  LogClock clock;

  std::mutex threadLock;
  std::map<uint32_t, std::string> threadNames;
  std::map<uint32_t, int32_t> threadDepths;
};

LogState& state() {
  static LogState* instance = new LogState();
  return *instance;
}

uint32_t currentThreadId() { return static_cast<uint32_t>(::syscall(SYS_gettid)); }

// Set once the thread's guard below has run: whatever the thread still logs from later thread-exit code must
// neither touch the destroyed guard nor leave entries that nobody would remove.
thread_local bool threadEnding = false;

// Removes the thread's name and depth when the thread ends. Without it the tables grow by one entry per thread
// for the life of the process (a driver starts a thread per connection), and a later thread that gets the same
// id from the kernel would inherit a dead thread's name.
struct ThreadEntries {
  uint32_t id = 0;
  ~ThreadEntries() {
    threadEnding = true;
    LogState& s = state();
    std::lock_guard<std::mutex> guard(s.threadLock);
    s.threadNames.erase(id);
    s.threadDepths.erase(id);
  }
};

// Whether the calling thread may get entries; it is then registered for their removal. Call with threadLock held.
bool mayRecordThread(uint32_t tid) {
  if (threadEnding) return false;
  thread_local ThreadEntries entries;
  entries.id = tid;
  return true;
}

std::string paddedThreadName(const std::string& name) {
  if (name.size() > kThreadNameWidth) {
    return name.substr(0, kThreadNameWidth - 1) + "~";
  }
  return name + std::string(kThreadNameWidth - name.size(), ' ');
}

const char* fileBaseName(const char* path) {
  const char* base = path;
  for (const char* p = path; *p != '\0'; ++p) {
    if (*p == '/' || *p == '\\') {
      base = p + 1;
    }
  }
  return base;
}

void writeTimeStamp(std::ostream& out, std::chrono::system_clock::time_point now) {
  const auto sinceEpoch = now.time_since_epoch();
  const std::time_t seconds = std::chrono::duration_cast<std::chrono::seconds>(sinceEpoch).count();
  const auto micros = std::chrono::duration_cast<std::chrono::microseconds>(sinceEpoch).count() % 1000000;
  std::tm local{};
  localtime_r(&seconds, &local);
  char stamp[64];
  std::snprintf(stamp, sizeof stamp, "%04d-%02d-%02d %02d:%02d:%02d.%06lld", local.tm_year + 1900, local.tm_mon + 1,
                local.tm_mday, local.tm_hour, local.tm_min, local.tm_sec,
                static_cast<long long>(micros < 0 ? micros + 1000000 : micros));
  out << stamp;
}

}  // namespace

std::string withoutTimeStamp(const std::string& line) {
  // "YYYY-MM-DD HH:MM:SS.uuuuuu " as writeTimeStamp writes it.
  constexpr size_t kLength = 27;
  const bool stamped = line.size() > kLength && line[4] == '-' && line[7] == '-' && line[10] == ' ' &&
                       line[13] == ':' && line[16] == ':' && line[19] == '.' && line[kLength - 1] == ' ';
  return stamped ? line.substr(kLength) : line;
}

const char* logLevelText(LogLevel level) {
  switch (level) {
    case LogLevel::trace:
      return "trace   ";
    case LogLevel::debug:
      return "debug   ";
    case LogLevel::info:
      return "Info    ";
    case LogLevel::notice:
      return "Notice  ";
    case LogLevel::warning:
      return "Warning ";
    case LogLevel::error:
      return "ERROR   ";
    case LogLevel::critical:
      return "CRITICAL";
    case LogLevel::fatal:
      return "FATAL!!!";
  }
  return "";
}

void logLine(LogLevel level, const std::string& message, int line, const char* file) {
  const char* levelText = logLevelText(level);
  if (*levelText == '\0') {
    return;
  }
  LogState& s = state();
  std::chrono::system_clock::time_point now;
  {
    std::lock_guard<std::mutex> guard(s.sinkLock);
    // Nobody listens: skip the formatting, which is most of a line's cost.
    const bool wanted = std::any_of(s.sinks.begin(), s.sinks.end(), [level](const SinkEntry& entry) {
      return (entry.levelMask & static_cast<uint8_t>(level)) != 0;
    });
    if (!wanted) {
      return;
    }
    now = s.clock ? s.clock() : std::chrono::system_clock::now();
  }
  const uint32_t tid = currentThreadId();
  std::string name;
  int32_t depth = 0;
  {
    std::lock_guard<std::mutex> guard(s.threadLock);
    auto n = s.threadNames.find(tid);
    if (n != s.threadNames.end()) name = n->second;
    auto d = s.threadDepths.find(tid);
    if (d != s.threadDepths.end()) depth = d->second;
  }

  std::ostringstream out;
  writeTimeStamp(out, now);
  out << " [0x" << std::hex << std::setw(8) << std::setfill('0') << tid << std::dec << ':' << paddedThreadName(name)
      << "] " << levelText;
  for (int32_t i = 0; i < depth; ++i) out << "  ";
  out << ' ' << message;
  if (line >= 1 && file != nullptr) {
    out << " @ " << fileBaseName(file) << ':' << line;
  }
  out << '\n';
  const std::string text = out.str();

  std::lock_guard<std::mutex> guard(s.sinkLock);
  for (const SinkEntry& entry : s.sinks) {
    if ((entry.levelMask & static_cast<uint8_t>(level)) != 0) {
      entry.sink(std::string(text));
    }
  }
}

std::string logMessage(LogLevel level, const std::string& message, int line, const char* file,
                       const char* /*function*/) {
  logLine(level, message, line, file);
  return message;
}

std::string formatMessage(const char* format, ...) {
  char buffer[kFormatBufferSize];
  va_list args;
  va_start(args, format);
  const int needed = std::vsnprintf(buffer, sizeof buffer, format, args);
  va_end(args);
  if (needed < 0 || static_cast<size_t>(needed) >= sizeof buffer) {
    return "Not enought space to write into buffer";
  }
  return std::string(buffer, static_cast<size_t>(needed));
}

void addLogSink(uint8_t levelMask, LogSink sink, const std::string& /*name*/) {
  LogState& s = state();
  std::lock_guard<std::mutex> guard(s.sinkLock);
  s.sinks.push_back(SinkEntry{levelMask, std::move(sink)});
}

void setThreadName(const std::string& name) {
  LogState& s = state();
  const uint32_t tid = currentThreadId();
  {
    std::lock_guard<std::mutex> guard(s.threadLock);
    if (mayRecordThread(tid)) s.threadNames[tid] = name;
  }
  // The kernel keeps at most 15 characters.
  ::pthread_setname_np(::pthread_self(), name.substr(0, 15).c_str());
}

std::string threadName() {
  LogState& s = state();
  std::lock_guard<std::mutex> guard(s.threadLock);
  auto n = s.threadNames.find(currentThreadId());
  return n == s.threadNames.end() ? std::string() : n->second;
}

void raiseThreadDepth() {
  LogState& s = state();
  const uint32_t tid = currentThreadId();
  std::lock_guard<std::mutex> guard(s.threadLock);
  if (mayRecordThread(tid)) ++s.threadDepths[tid];
}

void lowerThreadDepth() {
  LogState& s = state();
  const uint32_t tid = currentThreadId();
  std::lock_guard<std::mutex> guard(s.threadLock);
  auto depth = s.threadDepths.find(tid);
  if (depth == s.threadDepths.end()) return;
  // Back at the outermost level: the entry is not needed until the next trace.
  if (--depth->second <= 0) s.threadDepths.erase(depth);
}

size_t threadEntriesForTesting() {
  LogState& s = state();
  std::lock_guard<std::mutex> guard(s.threadLock);
  return s.threadNames.size() + s.threadDepths.size();
}

void setLogClockForTesting(LogClock clock) {
  LogState& s = state();
  std::lock_guard<std::mutex> guard(s.sinkLock);
  s.clock = std::move(clock);
}

void clearLogSinksForTesting() {
  LogState& s = state();
  std::lock_guard<std::mutex> guard(s.sinkLock);
  s.sinks.clear();
}

}  // namespace trevalon::common
