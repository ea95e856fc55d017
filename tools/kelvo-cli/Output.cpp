// SPDX-License-Identifier: Apache-2.0
#include "Output.h"

#include <iostream>

namespace kelvo::cli {

std::mutex Output::lock;
bool Output::json = false;
nlohmann::json Output::object = nlohmann::json::object();

void Output::setJson(bool value) {
  std::lock_guard<std::mutex> guard(lock);
  json = value;
}

bool Output::isJson() {
  std::lock_guard<std::mutex> guard(lock);
  return json;
}

void Output::setCommand(const std::string& command) { jsonOnly("command", command); }

void Output::field(const std::string& key, const std::string& text) { field(key, text, text); }

void Output::field(const std::string& key, const std::string& text, const nlohmann::json& value) {
  std::lock_guard<std::mutex> guard(lock);
  if (json) {
    object[key] = value;
  } else {
    std::cout << key << " = " << text << std::endl;
  }
}

void Output::items(const std::string& name, const std::vector<std::pair<std::string, std::string>>& items) {
  std::lock_guard<std::mutex> guard(lock);
  if (json) {
    nlohmann::json members = nlohmann::json::object();
    for (const auto& [key, value] : items) members[key] = value;
    object[name] = members;
  } else {
    for (const auto& [key, value] : items) std::cout << key << " = " << value << '\n';
    std::cout << std::flush;
  }
}

void Output::jsonOnly(const std::string& key, const nlohmann::json& value) {
  std::lock_guard<std::mutex> guard(lock);
  if (json) object[key] = value;
}

void Output::row(const std::string& list, const std::string& text, const nlohmann::json& element) {
  std::lock_guard<std::mutex> guard(lock);
  if (json) {
    if (!object.contains(list)) object[list] = nlohmann::json::array();
    object[list].push_back(element);
  } else {
    std::cout << text << std::endl;
  }
}

// A list whose text lines read "KEY = VALUE".
void Output::repeated(const std::string& key, const std::string& text, const nlohmann::json& value) {
  row(key, key + " = " + text, value);
}

void Output::error(const std::string& message) {
  std::lock_guard<std::mutex> guard(lock);
  std::cerr << "kelvo-cli: " << message << std::endl;
  if (json && !object.contains("error")) object["error"] = message;
}

void Output::note(const std::string& message) {
  std::lock_guard<std::mutex> guard(lock);
  std::cerr << "kelvo-cli: " << message << std::endl;
}

int Output::finish(int status) {
  std::lock_guard<std::mutex> guard(lock);
  if (json) {
    object["exit-status"] = status;
    // Readers' names and descriptor strings may hold any bytes: invalid UTF-8 is replaced, never fatal.
    std::cout << object.dump(2, ' ', false, nlohmann::json::error_handler_t::replace) << std::endl;
  }
  return status;
}

void Output::resetForTesting() {
  std::lock_guard<std::mutex> guard(lock);
  json = false;
  object = nlohmann::json::object();
}

nlohmann::json Output::objectForTesting() {
  std::lock_guard<std::mutex> guard(lock);
  return object;
}

}  // namespace kelvo::cli
