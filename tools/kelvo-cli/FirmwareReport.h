// SPDX-License-Identifier: Apache-2.0
#pragma once
// `kelvo-cli firmware ADDR [--catalogue DIR]...`: matches a reader against firmware catalogue folders with the
// application's own catalogue code and says, candidate by candidate, why each was skipped or matched, then which
// update the application would offer. For the people who prepare firmware folders.

#include <string>
#include <utility>
#include <vector>

namespace kelvo::cli {

class FirmwareReport {
 public:
  // The folders the application reads when none are given: the user's download folder, ./Firmware and the
  // shipped firmware.
  static std::vector<std::string> defaultFolders();
  // The options after ADDR: "--catalogue DIR", repeatable. False with a message on a malformed option.
  static bool parseFolders(const std::vector<std::string>& options, std::vector<std::string>& folders);
  // Prints the report for a reader's descriptor items; the exit status (0, also when there is no update).
  static int print(const std::vector<std::pair<std::string, std::string>>& descriptor,
                   const std::vector<std::string>& folders);
};

}  // namespace kelvo::cli
