// SPDX-License-Identifier: Apache-2.0
#pragma once
// Control commands to the emulated world inside kelvo-driver, through the FIFO the driver reads
// (KELVO_SIM_CONTROL), each waited for until its answer line appears in "<fifo>.out".

#include <chrono>
#include <optional>
#include <string>

namespace kelvo::campaign {

class DriverControl {
 public:
  explicit DriverControl(std::string fifo);

  // The answer line ("ok ...", "error: ..."), or nothing when none came within `limit`.
  std::optional<std::string> run(const std::string& command, std::chrono::milliseconds limit);

 private:
  bool send(const std::string& command);
  size_t answerLines(std::string* last) const;

  const std::string fifo;
};

}  // namespace kelvo::campaign
