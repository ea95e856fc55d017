// SPDX-License-Identifier: Apache-2.0
#pragma once
// One ScopeTrace per traced method call: an enabled trace writes ">>" on entry and "<<" on exit and indents
// everything logged in between; a disabled one writes a single "<>" line on exit.

#include <chrono>
#include <string>

namespace trevalon::common {

class ScopeTrace {
 public:
  ScopeTrace(bool enabled, std::string name, const std::string& arguments, int line, const char* file);
  ScopeTrace(const ScopeTrace&) = delete;
  ScopeTrace& operator=(const ScopeTrace&) = delete;
  ~ScopeTrace();

  void setResult(std::string result);

  // "2.5min", "500ms", ...: the elapsed part of the exit line.
  static std::string formatElapsed(double seconds);

  // The fully qualified method name out of a compiler function signature, without return type,
  // parameters and template arguments: "trevalon::common::BlockingQueue::stop".
  static std::string qualifiedName(const char* prettyFunction);

 private:
  bool enabled;
  std::string name;
  int line;
  const char* file;
  std::chrono::steady_clock::time_point started;
  std::string result;
  bool hasResult = false;
};

}  // namespace trevalon::common

#define TREVALON_TRACE_IMPL(enabled, arguments)                                                                     \
  static const std::string trevalonTraceName_ = ::trevalon::common::ScopeTrace::qualifiedName(__PRETTY_FUNCTION__); \
  ::trevalon::common::ScopeTrace scopeTrace(enabled, trevalonTraceName_, arguments, __LINE__, __FILE__)

// At the top of a library method; the trace is reachable as `scopeTrace` (for setResult).
#define TREVALON_TRACE() TREVALON_TRACE_IMPL(true, std::string())
#define TREVALON_TRACE_ARGS(arguments) TREVALON_TRACE_IMPL(true, arguments)
// For the frequently called methods whose entry line would drown the log.
#define TREVALON_TRACE_QUIET() TREVALON_TRACE_IMPL(false, std::string())
