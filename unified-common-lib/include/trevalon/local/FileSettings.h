// SPDX-License-Identifier: Apache-2.0
#pragma once
// Settings as one file per value in a directory that must already exist (the store never creates it, as an
// installer-owned location). A value stored as it already is writes nothing. Writes are atomic (temporary file,
// then rename), values whose name ends with
// "_private" are readable by their owner only, and a name that could leave the directory is refused.

#include <sys/types.h>

#include <string>
#include <vector>

#include "trevalon/local/Settings.h"

namespace trevalon::local {

class FileSettings : public Settings {
 public:
  explicit FileSettings(std::string directory);

  bool isset(const std::string& name) override;
  bool unset(const std::string& name) override;
  std::shared_ptr<std::vector<uint8_t>> get_raw(const std::string& name) override;
  bool set_raw(const std::string& name, const std::vector<uint8_t>& bytes) override;

  const std::string& directory() const { return root; }

  // A plain file name: not empty, no leading dot, no "..", no '/' and no NUL.
  static bool isValidName(const std::string& name);

 private:
  bool checkName(const std::string& name) const;
  bool openDirectory(int& fd) const;
  static bool holdsAlready(int directoryFd, const std::string& name, const std::vector<uint8_t>& bytes, mode_t mode);

  std::string root;
};

}  // namespace trevalon::local
