// SPDX-License-Identifier: Apache-2.0
#include <gtest/gtest.h>
#include <unistd.h>

#include <fstream>

#include "LogCapture.h"
#include "TempDirectory.h"
#include "trevalon/local/Facade.h"
#include "trevalon/local/FileSettings.h"
#include "trevalon/local/LinuxMachine.h"

using namespace trevalon::local;
using kelvo::test::LogCapture;
using kelvo::test::TempDirectory;

namespace {

class LinuxMachineTest : public ::testing::Test {
 protected:
  void SetUp() override {
    Facade::instance().setSettings(std::make_shared<FileSettings>(dir.path()));
    setenv("TREVALON_DATA_DIR", "/srv/trevalon-test", 1);
  }
  void TearDown() override {
    Facade::instance().setSettings(nullptr);
    unsetenv("TREVALON_DATA_DIR");
  }
  TempDirectory dir;
};

TEST_F(LinuxMachineTest, KeyPlacesTheMachineIdBytesAtTheirPositions) {
  std::ofstream(dir.file("machine-id")) << "00112233445566778899aabbccddeeff\n";
  LinuxMachine machine(dir.file("machine-id"), dir.file("os-release"));
  const MachineKey key = machine.key();
  // Byte i of the id (0x00, 0x11, ... 0xff) lands at the i-th listed position.
  const int positions[16] = {4, 22, 13, 30, 9, 20, 8, 14, 24, 2, 0, 17, 27, 1, 7, 5};
  MachineKey expected = LinuxMachine::kKeyConstant;
  for (int i = 0; i < 16; ++i) expected[positions[i]] = static_cast<uint8_t>(i * 0x11);
  EXPECT_EQ(key, expected);
  EXPECT_EQ(key[4], 0x00);
  EXPECT_EQ(key[22], 0x11);
  EXPECT_EQ(key[5], 0xff);
  EXPECT_EQ(key[3], LinuxMachine::kKeyConstant[3]);
}

TEST_F(LinuxMachineTest, WithoutAReadableMachineIdTheKeyIsTheConstantAndEveryCallWarns) {
  std::ofstream(dir.file("short-id")) << "0011223344\n";
  std::ofstream(dir.file("bad-id")) << "zz112233445566778899aabbccddeeff\n";
  for (const std::string& path :
       std::vector<std::string>{dir.file("absent"), dir.file("short-id"), dir.file("bad-id")}) {
    LinuxMachine machine(path, dir.file("os-release"));
    LogCapture capture;
    EXPECT_EQ(machine.key(), LinuxMachine::kKeyConstant) << path;
    EXPECT_EQ(machine.key(), LinuxMachine::kKeyConstant) << path;
    EXPECT_EQ(capture.countAt("Warning", "Could not read MachineGuid"), 2u) << path;
  }
}

TEST_F(LinuxMachineTest, WritesTheDefaultLogPathOnlyWhenNoneIsSet) {
  LinuxMachine first(dir.file("machine-id"), dir.file("os-release"));
  EXPECT_EQ(readTextSetting("logpath", "", false), "/srv/trevalon-test");
  ASSERT_TRUE(writeTextSetting("logpath", "/elsewhere", false));
  LinuxMachine second(dir.file("machine-id"), dir.file("os-release"));
  EXPECT_EQ(readTextSetting("logpath", "", false), "/elsewhere");
}

TEST_F(LinuxMachineTest, LogsTheOperatingSystemFromOsRelease) {
  std::ofstream(dir.file("os-release")) << "PRETTY_NAME=\"Debian GNU/Linux 12 (bookworm)\"\n"
                                           "# comment\nNAME='Debian GNU/Linux'\nVERSION_ID=\"12\"\nID=debian\n";
  LogCapture capture;
  LinuxMachine machine(dir.file("machine-id"), dir.file("os-release"));
  EXPECT_TRUE(capture.containsAt("Info", "+++ LINUX VERSION INFORMATION +++"));
  EXPECT_TRUE(capture.contains("PRETTY_NAME: Debian GNU/Linux 12 (bookworm) @"));
  EXPECT_TRUE(capture.contains("NAME: Debian GNU/Linux @"));
  EXPECT_TRUE(capture.contains("ID: debian @"));
  EXPECT_TRUE(capture.contains("BUILD_ID: unknown @"));
}

TEST_F(LinuxMachineTest, NameIsTheHostName) {
  char host[256] = {};
  gethostname(host, sizeof host - 1);
  LinuxMachine machine(dir.file("machine-id"), dir.file("os-release"));
  EXPECT_EQ(machine.getName(), host);
  EXPECT_TRUE(machine.query("anything").empty());
}

}  // namespace
