// SPDX-License-Identifier: Apache-2.0
#pragma once
// A POSIX extended regular expression that must match a whole value (a descriptor's pattern for a reader's serial,
// hardware, bootloader, firmware or update method).

#include <regex.h>

#include <memory>
#include <string>

namespace trevalon {

class FirmwarePattern {
 public:
  // Empty when the expression does not compile.
  static std::shared_ptr<FirmwarePattern> compile(const std::string& expression);
  ~FirmwarePattern();
  FirmwarePattern(const FirmwarePattern&) = delete;
  FirmwarePattern& operator=(const FirmwarePattern&) = delete;

  bool matchesWhole(const std::string& value) const;
  const std::string& expression() const { return text; }

 private:
  FirmwarePattern(const regex_t& compiled, std::string expression);
  regex_t compiled{};
  std::string text;
};

}  // namespace trevalon
