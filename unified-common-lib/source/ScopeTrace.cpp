// SPDX-License-Identifier: Apache-2.0
#include "trevalon/common/ScopeTrace.h"

#include <cstring>
#include <sstream>

#include "trevalon/common/Log.h"

namespace trevalon::common {

ScopeTrace::ScopeTrace(bool enabled, std::string name, const std::string& arguments, int line, const char* file)
    : enabled(enabled), name(std::move(name)), line(line), file(file) {
  started = std::chrono::steady_clock::now();
  if (enabled) {
    logLine(LogLevel::trace, ">> " + this->name + "(" + arguments + ")", line, file);
    raiseThreadDepth();
  } else {
    this->name += "(" + arguments + ")";
  }
}

ScopeTrace::~ScopeTrace() {
  const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
  if (enabled) {
    lowerThreadDepth();
  }
  std::string text = (enabled ? "<< " : "<> ") + name;
  if (hasResult) {
    text += " -> " + result;
  }
  text += " [~" + formatElapsed(seconds);
  logLine(LogLevel::trace, text, enabled ? 0 : line, file);
}

void ScopeTrace::setResult(std::string value) {
  result = std::move(value);
  hasResult = true;
}

std::string ScopeTrace::formatElapsed(double seconds) {
  double value = seconds;
  const char* unit = "ns]";
  if (seconds >= 120.0) {
    value = seconds / 60.0;
    unit = "min]";
  } else if (seconds >= 1.0) {
    unit = "s]";
  } else if (seconds >= 0.001) {
    value = seconds * 1e3;
    unit = "ms]";
  } else if (seconds >= 0.000001) {
    value = seconds * 1e6;
    unit = "us]";
  } else {
    value = seconds * 1e9;
  }
  std::ostringstream out;
  out << value << unit;
  return out.str();
}

std::string ScopeTrace::qualifiedName(const char* prettyFunction) {
  std::string signature(prettyFunction);
  // Find the parameter list's opening parenthesis at template depth 0 (skipping "operator()").
  size_t open = std::string::npos;
  int angle = 0;
  for (size_t i = 0; i < signature.size(); ++i) {
    const char c = signature[i];
    if (c == '<') ++angle;
    if (c == '>' && angle > 0) --angle;
    if (c == '(' && angle == 0) {
      if (i >= 8 && signature.compare(i - 8, 8, "operator") == 0 && i + 1 < signature.size() &&
          signature[i + 1] == ')') {
        ++i;
        continue;
      }
      open = i;
      break;
    }
  }
  std::string head = signature.substr(0, open);
  // The name starts after the last blank at template depth 0 (return type and qualifiers come before it).
  size_t start = 0;
  angle = 0;
  for (size_t i = 0; i < head.size(); ++i) {
    if (head[i] == '<') ++angle;
    if (head[i] == '>' && angle > 0) --angle;
    if (head[i] == ' ' && angle == 0) start = i + 1;
  }
  std::string name;
  angle = 0;
  for (size_t i = start; i < head.size(); ++i) {
    const char c = head[i];
    if (c == '<' && !(i >= 8 && head.compare(i - 8, 8, "operator") == 0)) {
      ++angle;
      continue;
    }
    if (c == '>' && angle > 0) {
      --angle;
      continue;
    }
    if (angle == 0) name += c;
  }
  return name;
}

}  // namespace trevalon::common
