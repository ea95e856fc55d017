// SPDX-License-Identifier: Apache-2.0
#include "trevalon/firmware/FirmwarePattern.h"

#include <utility>

namespace trevalon {

std::shared_ptr<FirmwarePattern> FirmwarePattern::compile(const std::string& expression) {
  regex_t compiled{};
  if (regcomp(&compiled, expression.c_str(), REG_EXTENDED) != 0) return nullptr;
  return std::shared_ptr<FirmwarePattern>(new FirmwarePattern(compiled, expression));
}

FirmwarePattern::FirmwarePattern(const regex_t& compiled, std::string expression)
    : compiled(compiled), text(std::move(expression)) {}

FirmwarePattern::~FirmwarePattern() { regfree(&compiled); }

// POSIX matching is leftmost-longest, so a match that starts at the value's beginning and reaches its end exists
// exactly when the longest match at the beginning does. Wrapping the expression in ^( )$ instead would let a
// pattern with unbalanced parentheses escape the anchors.
bool FirmwarePattern::matchesWhole(const std::string& value) const {
  regmatch_t match{};
  if (regexec(&compiled, value.c_str(), 1, &match, 0) != 0) return false;
  return match.rm_so == 0 && static_cast<size_t>(match.rm_eo) == value.size();
}

}  // namespace trevalon
