// SPDX-License-Identifier: Apache-2.0
#include <gtest/gtest.h>

#include <fstream>

#include "LogCapture.h"
#include "TempDirectory.h"
#include "trevalon/local/Facade.h"
#include "trevalon/local/FileSettings.h"
#include "trevalon/local/LinuxMachine.h"

using namespace trevalon::local;
using kelvo::test::TempDirectory;

namespace {

class TypedSettings : public ::testing::Test {
 protected:
  void SetUp() override {
    std::ofstream(dir.file("machine-id")) << "0123456789abcdef0123456789abcdef\n";
    Facade::instance().setSettings(std::make_shared<FileSettings>(dir.path()));
    Facade::instance().setMachine(std::make_shared<LinuxMachine>(dir.file("machine-id"), dir.file("os-release")));
  }
  void TearDown() override { Facade::instance().setSettings(nullptr); }
  std::string stored(const std::string& name) {
    auto bytes = Facade::instance().getSettings()->get_raw(name);
    return bytes ? std::string(bytes->begin(), bytes->end()) : std::string("<absent>");
  }
  TempDirectory dir;
};

TEST_F(TypedSettings, TextRoundTripAndDefault) {
  EXPECT_EQ(readTextSetting("serial_001a7dda7113", "none", false), "none");
  ASSERT_TRUE(writeTextSetting("serial_001a7dda7113", "5123456789", false));
  EXPECT_EQ(readTextSetting("serial_001a7dda7113", "none", false), "5123456789");
  EXPECT_EQ(stored("serial_001a7dda7113"), "5123456789");
}

TEST_F(TypedSettings, LongTextIsCutTo256Bytes) {
  const std::string text(300, 'x');
  ASSERT_TRUE(writeTextSetting("long", text, false));
  EXPECT_EQ(readTextSetting("long", "", false), std::string(256, 'x'));
  ASSERT_TRUE(writeTextSetting("long", text, true));
  EXPECT_EQ(readTextSetting("long", "", true), std::string(256, 'x'));
}

TEST_F(TypedSettings, PrivateValuesAreEncryptedAndHiddenUnderThePlainName) {
  const std::string key(32, '\x5a');
  ASSERT_TRUE(writeTextSetting("key_001a7dda7113", key, true));
  EXPECT_EQ(stored("key_001a7dda7113"), "<absent>");
  EXPECT_EQ(readTextSetting("key_001a7dda7113", "default", false), "default");
  const std::string cipher = stored("key_001a7dda7113_private");
  EXPECT_EQ(cipher.size(), 48u) << "32 bytes and a whole block of padding";
  EXPECT_EQ(cipher.find(key.substr(0, 16)), std::string::npos);
  EXPECT_EQ(readTextSetting("key_001a7dda7113", "", true), key);
}

TEST_F(TypedSettings, ADamagedPrivateValueReadsAsTheDefault) {
  kelvo::test::LogCapture capture;
  ASSERT_TRUE(Facade::instance().getSettings()->set_raw("key_x_private", std::vector<uint8_t>(15, 1)));
  EXPECT_EQ(readTextSetting("key_x", "fallback", true), "fallback");
  EXPECT_TRUE(capture.contains("Invalid size 15"));
}

TEST_F(TypedSettings, WithoutASettingsStoreReadsGiveTheDefaultAndWritesFail) {
  Facade::instance().setSettings(nullptr);
  EXPECT_EQ(readTextSetting("a", "d", false), "d");
  EXPECT_FALSE(writeTextSetting("a", "v", false));
}

}  // namespace
