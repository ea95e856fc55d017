// SPDX-License-Identifier: Apache-2.0
#pragma once
// A fresh directory under the system's temporary directory, removed with everything in it at the end.

#include <cstdlib>
#include <filesystem>
#include <string>

namespace kelvo::test {

class TempDirectory {
 public:
  TempDirectory() {
    std::string pattern = (std::filesystem::temp_directory_path() / "kelvo-test-XXXXXX").string();
    char* made = ::mkdtemp(pattern.data());
    root = made != nullptr ? std::string(made) : std::string();
  }
  ~TempDirectory() {
    std::error_code ignored;
    std::filesystem::remove_all(root, ignored);
  }
  TempDirectory(const TempDirectory&) = delete;
  TempDirectory& operator=(const TempDirectory&) = delete;

  const std::string& path() const { return root; }
  std::string file(const std::string& name) const { return root + "/" + name; }

 private:
  std::string root;
};

}  // namespace kelvo::test
