// SPDX-License-Identifier: Apache-2.0
#include "CommandLine.h"

#include <gtest/gtest.h>

namespace {

struct CommandLineCase {
  const char* name;
  QStringList arguments;
  bool hidden;
  bool simpleQuit;
  bool testDevice;
  QString serial;
};

class CommandLineTest : public ::testing::TestWithParam<CommandLineCase> {};

TEST_P(CommandLineTest, ReadsOptionsAndSerial) {
  const CommandLineCase& c = GetParam();
  const CommandLine options = CommandLine::parse(c.arguments);
  EXPECT_EQ(options.hidden(), c.hidden);
  EXPECT_EQ(options.simpleQuit(), c.simpleQuit);
  EXPECT_EQ(options.testDevice(), c.testDevice);
  EXPECT_EQ(options.testDeviceSerial(), c.serial);
}

INSTANTIATE_TEST_SUITE_P(
    Arguments, CommandLineTest,
    ::testing::Values(
        CommandLineCase{"nothing", {"kelvo-central"}, false, false, false, "1234567890"},
        CommandLineCase{"testDeviceLast", {"kelvo-central", "-testDevice"}, false, false, true, "1234567890"},
        CommandLineCase{
            "testDeviceThenHidden", {"kelvo-central", "-testDevice", "-hidden"}, true, false, true, "1234567890"},
        CommandLineCase{
            "lastSerialWins", {"kelvo-central", "-testDevice", "42", "-testDevice", "43"}, false, false, true, "43"},
        CommandLineCase{
            "serialOnlyDirectlyAfterOption", {"kelvo-central", "-testDevice", "42", "44"}, false, false, true, "42"},
        CommandLineCase{"caseAndWholeWord",
                        {"kelvo-central", "-Hidden", "-hidden2", "--simpleQuit", "-testdevice"},
                        false,
                        false,
                        false,
                        "1234567890"},
        CommandLineCase{"programNameIsScanned", {"-simpleQuit"}, false, true, false, "1234567890"},
        CommandLineCase{"everything",
                        {"kelvo-central", "-simpleQuit", "-hidden", "-testDevice", "K2M0001"},
                        true,
                        true,
                        true,
                        "K2M0001"}),
    [](const ::testing::TestParamInfo<CommandLineCase>& info) { return std::string(info.param.name); });

TEST(CommandLineInformation, HelpOrVersionAnywhereFirstWins) {
  using Information = CommandLine::Information;
  EXPECT_EQ(CommandLine::informationRequested({"kelvo-central", "-hidden"}), Information::none);
  EXPECT_EQ(CommandLine::informationRequested({"kelvo-central", "-hidden", "--help"}), Information::help);
  EXPECT_EQ(CommandLine::informationRequested({"kelvo-central", "--version", "--help"}), Information::version);
  // Only the exact double-dash words: the single-dash and prefixed forms stay ignored arguments.
  EXPECT_EQ(CommandLine::informationRequested({"kelvo-central", "-help", "-version", "--versions"}), Information::none);
  EXPECT_TRUE(CommandLine::usage().contains("-testDevice [SERIAL]"));
}

TEST(CommandLineVisibility, TutorialDueWinsOverHidden) {
  const CommandLine hidden = CommandLine::parse({"kelvo-central", "-hidden"});
  EXPECT_TRUE(hidden.showWindow(true));
  EXPECT_FALSE(hidden.showWindow(false));
  const CommandLine plain = CommandLine::parse({"kelvo-central"});
  EXPECT_TRUE(plain.showWindow(true));
  EXPECT_TRUE(plain.showWindow(false));
}

}  // namespace
