// SPDX-License-Identifier: Apache-2.0
#pragma once
// What a command prints on standard output: "KEY = VALUE" lines and list rows as text, or, with --json, one JSON
// object per run, printed when the command ends, with the same keys, decoded values, "exit-status" and the
// "error" that ended it. Commands may report from other threads (flashing progress), so every call is guarded.

#include <mutex>
#include <string>
#include <utility>
#include <vector>

#include <nlohmann/json.hpp>

namespace kelvo::cli {

class Output {
 public:
  static void setJson(bool json);
  static bool isJson();
  static void setCommand(const std::string& command);

  // "KEY = VALUE" in text; a member of the object in JSON (`value` there, `text` in the line).
  static void field(const std::string& key, const std::string& text);
  static void field(const std::string& key, const std::string& text, const nlohmann::json& value);
  // A member of the JSON object that the text output does not show.
  static void jsonOnly(const std::string& key, const nlohmann::json& value);
  // "KEY = VALUE" lines in their order; in JSON the object `name` with those members.
  static void items(const std::string& name, const std::vector<std::pair<std::string, std::string>>& items);
  // A line of text as it stands; in JSON an element of the array `list`.
  static void row(const std::string& list, const std::string& text, const nlohmann::json& element);
  // A repeated "KEY = VALUE" line (progress); in JSON the values collect in the array KEY.
  static void repeated(const std::string& key, const std::string& text, const nlohmann::json& value);
  // One line on standard error; in JSON also the object's "error" (the first one counts).
  static void error(const std::string& message);
  // A note on standard error that is no failure.
  static void note(const std::string& message);
  // Prints the JSON object with "exit-status"; nothing in text mode. Answers the status.
  static int finish(int status);

  // For tests: forget the object and the mode.
  static void resetForTesting();
  static nlohmann::json objectForTesting();

 private:
  static std::mutex lock;
  static bool json;
  static nlohmann::json object;
};

}  // namespace kelvo::cli
