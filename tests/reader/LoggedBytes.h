// SPDX-License-Identifier: Apache-2.0
#pragma once
// Looks for bytes in a captured log: a test names secrets (a PIN, an answer's data) or hands over everything
// that crossed the air, and learns which of them the log shows in hex.

#include <cctype>
#include <set>
#include <string>
#include <vector>

#include "LogCapture.h"
#include "trevalon/common/HexText.h"

namespace kelvo::test {

// Every captured line from its level on (time stamps and thread ids are digits that could match anything), in
// lower case, so that hex written either way is found.
inline std::string loggedMessages(const LogCapture& capture) {
  std::string text;
  for (const std::string& line : capture.lines()) {
    const size_t message = line.find("] ");
    text += message == std::string::npos ? line : line.substr(message);
  }
  for (char& c : text) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return text;
}

inline bool logShows(const std::string& messages, const std::vector<uint8_t>& bytes) {
  return messages.find(trevalon::common::HexText::of(bytes)) != std::string::npos;
}

// The runs of `length` bytes out of the air values that the log shows. Runs of few distinct bytes (zero fill,
// counters, framing headers) are passed over: they are no secret and turn up in any text. What is left are key
// agreements in plain, sealed requests and answers.
inline std::set<std::string> airRunsShown(const std::string& messages, const std::vector<std::vector<uint8_t>>& air,
                                          size_t length = 8, size_t distinct = 6) {
  std::set<std::string> shown;
  for (const std::vector<uint8_t>& value : air) {
    for (size_t at = 0; at + length <= value.size(); ++at) {
      const std::vector<uint8_t> run(value.begin() + static_cast<long>(at),
                                     value.begin() + static_cast<long>(at + length));
      if (std::set<uint8_t>(run.begin(), run.end()).size() < distinct) continue;
      if (logShows(messages, run)) shown.insert(trevalon::common::HexText::of(run));
    }
  }
  return shown;
}

}  // namespace kelvo::test
