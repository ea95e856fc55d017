// SPDX-License-Identifier: Apache-2.0
#pragma once
// The tool's commands. Each prints its result on standard output and every failure as one line on standard
// error, and answers the process's exit status.

#include <optional>
#include <string>
#include <vector>

#include "ReaderSession.h"
#include "TextFormat.h"

namespace kelvo::cli {

class Commands {
 public:
  explicit Commands(ReaderSession& session) : session(session) {}

  int list();
  int descriptor(const std::vector<std::string>& args);
  int state(const std::vector<std::string>& args);
  int setSetting(const std::vector<std::string>& args);
  int setRanges(const std::vector<std::string>& args);
  int indicate(const std::vector<std::string>& args);
  int rpc(const std::vector<std::string>& args);
  int apdu(const std::vector<std::string>& args);
  int firmware(const std::vector<std::string>& args);
  int flash(const std::vector<std::string>& args);

  static int fail(const std::string& message);

 private:
  // The available reader named by args[0]; empty after reporting why not.
  std::shared_ptr<trevalon::Device> reader(const std::vector<std::string>& args, size_t argumentCount);
  static int reportCode(const char* request, uint8_t code);
  // The descriptor items of the reader named by args[0]; nothing after reporting why not.
  std::optional<TextFormat::DescriptorItems> readDescriptor(const std::vector<std::string>& args);
  // The same without a word when the reader is not there (it may be restarting).
  std::optional<TextFormat::DescriptorItems> readDescriptorQuietly(const std::string& address);

  ReaderSession& session;
};

}  // namespace kelvo::cli
