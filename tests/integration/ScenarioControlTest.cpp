// SPDX-License-Identifier: Apache-2.0
// The control commands that move a running scenario: what each does to the emulated world, and the one-line
// answers scripts rely on.

#include <gtest/gtest.h>

#include "kelvo/simulator/kelvo/KelvoReaderState.h"
#include "kelvo/simulator/scenario/ScenarioControl.h"
#include "kelvo/simulator/scenario/ScenarioLoader.h"

using kelvo::simulator::KelvoReaderState;
using kelvo::simulator::Scenario;
using kelvo::simulator::ScenarioControl;
using kelvo::simulator::ScenarioLoader;

namespace {

class ScenarioControlTest : public ::testing::Test {
 protected:
  ScenarioControlTest()
      : scenario(Scenario::populate(nullptr, ScenarioLoader::parse(R"({ "devices": [
            { "family": "kelvo", "address": "001a7dda7113", "battery": 80, "usb": 0 },
            { "family": "none", "address": "a0a1a2a3a4a5" } ] })"))),
        control(
            scenario,
            [this](const std::shared_ptr<trevalon::sim::EmulatedPeripheral>& peripheral) {
              placed.push_back(peripheral->address());
            },
            [this](const std::string& address) { withdrawn.push_back(address); }) {}

  KelvoReaderState state() { return scenario.reader("001a7dda7113")->state(); }

  Scenario scenario;
  std::vector<std::string> placed;
  std::vector<std::string> withdrawn;
  ScenarioControl control;
};

TEST_F(ScenarioControlTest, CommandsMoveTheReader) {
  EXPECT_EQ(control.execute("insert 001a7dda7113"), "ok");
  EXPECT_NE(state().cardStatus, KelvoReaderState::kCardAbsent);
  EXPECT_EQ(control.execute("remove 001A7DDA7113"), "ok") << "addresses in either case";
  EXPECT_EQ(state().cardStatus, KelvoReaderState::kCardAbsent);
  EXPECT_EQ(control.execute("insert 001a7dda7113 3B02AABB"), "ok");
  EXPECT_NE(state().cardStatus, KelvoReaderState::kCardAbsent);
  EXPECT_EQ(control.execute("battery 001a7dda7113 7"), "ok");
  EXPECT_EQ(state().battery, 7);
  EXPECT_EQ(control.execute("usb 001a7dda7113 1"), "ok");
  EXPECT_EQ(state().usb, 1);
  EXPECT_EQ(control.execute("drop 001a7dda7113"), "ok");
  EXPECT_TRUE(scenario.reader("001a7dda7113")->isLinkUp()) << "a dropped reader in range comes back";

  // The reader's settings as it holds them: what another process changed through the host reaches a test here.
  std::string expected = "ok";
  for (const auto& [id, value] : state().settings) expected += " " + std::to_string(id) + "=" + std::to_string(value);
  EXPECT_GT(state().settings.size(), 0u);
  EXPECT_EQ(control.execute("settings 001a7dda7113"), expected);
  EXPECT_EQ(control.execute("settings 001a7dda7113 6"), "error: 'settings' takes 1 argument(s)");
}

TEST_F(ScenarioControlTest, BadCommandsAreAnsweredWithTheReasonAndChangeNothing) {
  const struct {
    const char* command;
    const char* answer;
  } cases[] = {
      {"", "error: empty command"},
      {"shake 001a7dda7113", "error: unknown command 'shake'"},
      {"insert 0000000000ff", "error: no reader 0000000000ff"},
      {"insert a0a1a2a3a4a5", "error: no reader a0a1a2a3a4a5"},
      {"insert 001a7dda7113 3B00 3B00", "error: 'insert' takes 1 or 2 argument(s)"},
      {"remove", "error: 'remove' takes 1 argument(s)"},
      {"insert 001a7dda7113 3B0", "error: ATR must be hexadecimal bytes"},
      {"battery 001a7dda7113 101", "error: battery level must be 0 to 100"},
      {"battery 001a7dda7113 -1", "error: battery level must be 0 to 100"},
      {"battery 001a7dda7113", "error: 'battery' takes 2 argument(s)"},
      {"usb 001a7dda7113 2", "error: usb takes 0 or 1"},
      {"remove-reader 0000000000ff", "error: no device 0000000000ff"},
      {"add-reader {", "error: not valid JSON"},
      {R"(add-reader { "family": "kelvo", "address": "001a7dda7113" })", "error: address 001a7dda7113 is in use"},
      {R"(add-reader { "family": "kelvo", "address": "c0ffee000102", "battery": 300 })",
       "error: device.battery: value 300 is outside 0..100"},
  };
  for (const auto& entry : cases) {
    EXPECT_EQ(control.execute(entry.command).rfind(entry.answer, 0), 0u) << entry.command;
  }
  EXPECT_EQ(state().battery, 80);
  EXPECT_EQ(state().usb, 0);
  EXPECT_TRUE(placed.empty());
  EXPECT_TRUE(withdrawn.empty());
}

TEST_F(ScenarioControlTest, ReadersJoinAndLeaveTheAir) {
  EXPECT_EQ(control.execute(R"(add-reader { "family": "kelvo", "address": "C0FFEE000102", "battery": 35 })"), "ok");
  EXPECT_EQ(placed, std::vector<std::string>{"c0ffee000102"});
  ASSERT_TRUE(scenario.reader("c0ffee000102"));
  EXPECT_EQ(control.execute("battery c0ffee000102 36"), "ok");
  EXPECT_EQ(scenario.reader("c0ffee000102")->state().battery, 36);

  EXPECT_EQ(control.execute("remove-reader c0ffee000102"), "ok");
  EXPECT_EQ(withdrawn, std::vector<std::string>{"c0ffee000102"});
  EXPECT_FALSE(scenario.peripheral("c0ffee000102"));
  EXPECT_EQ(control.execute("battery c0ffee000102 37"), "error: no Kelvo reader c0ffee000102");
  EXPECT_EQ(control.execute("remove-reader a0a1a2a3a4a5"), "ok") << "any device may leave";
  EXPECT_EQ(scenario.peripherals().size(), 1u);
}

}  // namespace
