// SPDX-License-Identifier: Apache-2.0
#pragma once
// A settings store and a machine in the library's facade, in a temporary directory, for the life of a test.

#include <fstream>

#include "TempDirectory.h"
#include "trevalon/local/Facade.h"
#include "trevalon/local/FileSettings.h"
#include "trevalon/local/LinuxMachine.h"

namespace kelvo::test {

class SettingsFixture {
 public:
  SettingsFixture() {
    std::ofstream(directory.file("machine-id")) << "8f1e2d3c4b5a69788796a5b4c3d2e1f0\n";
    trevalon::local::Facade::instance().setSettings(std::make_shared<trevalon::local::FileSettings>(directory.path()));
    trevalon::local::Facade::instance().setMachine(
        std::make_shared<trevalon::local::LinuxMachine>(directory.file("machine-id"), directory.file("os-release")));
  }
  ~SettingsFixture() { trevalon::local::Facade::instance().setSettings(nullptr); }

  TempDirectory directory;
};

}  // namespace kelvo::test
