// SPDX-License-Identifier: Apache-2.0
// Arbitrary setting names against a store directory: a name the check accepts must stay inside the directory.
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <string>

#include "trevalon/local/FileSettings.h"

namespace {

const std::string& storeDirectory() {
  static const std::string directory = [] {
    std::string pattern = (std::filesystem::temp_directory_path() / "kelvo-fuzz-XXXXXX").string();
    return std::string(::mkdtemp(pattern.data()));
  }();
  return directory;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string name(reinterpret_cast<const char*>(data), size);
  if (!trevalon::local::FileSettings::isValidName(name)) {
    return 0;
  }
  const std::filesystem::path root(storeDirectory());
  const std::filesystem::path resolved = (root / name).lexically_normal();
  if (resolved.parent_path() != root.lexically_normal()) {
    __builtin_trap();
  }
  return 0;
}
