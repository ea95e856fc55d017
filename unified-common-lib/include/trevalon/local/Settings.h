// SPDX-License-Identifier: Apache-2.0
#pragma once
// The library's persistent values (log path, cached serials, stored link keys) behind one small interface.

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace trevalon::local {

class Settings {
 public:
  virtual ~Settings() = default;
  virtual bool isset(const std::string& name) = 0;
  virtual bool unset(const std::string& name) = 0;
  // Empty when the value cannot be read.
  virtual std::shared_ptr<std::vector<uint8_t>> get_raw(const std::string& name) = 0;
  virtual bool set_raw(const std::string& name, const std::vector<uint8_t>& bytes) = 0;
};

// Typed values over the facade's settings. A text is stored as at most its first 256 bytes. A private value is
// stored under name + "_private", encrypted with a key derived from the machine, so it is invisible under its
// plain name.
constexpr size_t kMaxTextSettingSize = 256;
std::string readTextSetting(const std::string& name, const std::string& defaultText, bool isPrivate);
bool writeTextSetting(const std::string& name, const std::string& text, bool isPrivate);
std::string settingStorageName(const std::string& name, bool isPrivate);

}  // namespace trevalon::local
