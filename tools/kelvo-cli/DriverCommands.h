// SPDX-License-Identifier: Apache-2.0
#pragma once
// The tool's commands through a running kelvo-driver. They print what the in-process commands print, so the
// two paths can be compared line by line; the code printed is the driver's status byte.

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "DriverSession.h"
#include "TextFormat.h"

namespace kelvo::cli {

class DriverCommands {
 public:
  explicit DriverCommands(const DriverSession& session) : session(session) {}

  // Runs one command; answers the process's exit status.
  int run(const std::string& command, const std::vector<std::string>& args);

  // For the bug report, without a word on failure: the driver's version (asked of the reader's socket), the
  // reader's descriptor items and its state fields.
  std::optional<std::string> driverVersion(const std::string& address) const;
  std::optional<TextFormat::DescriptorItems> descriptorQuietly(const std::string& address) const;
  std::optional<std::vector<TextFormat::Field>> stateQuietly(const std::string& address) const;

 private:
  int list();
  int descriptor(const std::vector<std::string>& args);
  int state(const std::vector<std::string>& args);
  int firmware(const std::vector<std::string>& args);
  int setSetting(const std::vector<std::string>& args);
  int setRanges(const std::vector<std::string>& args);
  int indicate(const std::vector<std::string>& args);
  int rpc(const std::vector<std::string>& args);

  // The answer's status and payload; nothing after reporting why not (a missing socket, a lost reader).
  std::optional<std::vector<uint8_t>> ask(const std::string& addressText, uint8_t code,
                                          const std::vector<uint8_t>& payload);
  static int reportCode(const char* request, const std::vector<uint8_t>& answer);
  // The reader's descriptor items; nothing after reporting why not.
  std::optional<TextFormat::DescriptorItems> readDescriptor(const std::string& address);

  const DriverSession& session;
};

}  // namespace kelvo::cli
