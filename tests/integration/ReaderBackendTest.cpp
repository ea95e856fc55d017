// Choosing the radio from the environment, and moving the simulated radio's readers through the control pipe
// while a program runs on them.

#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <thread>

#include "SettingsFixture.h"
#include "kelvo/simulator/scenario/ReaderBackend.h"
#include "kelvo/simulator/scenario/ScenarioError.h"

using kelvo::simulator::ReaderBackend;

namespace {

const char* const kScenario = R"({ "devices": [
  { "family": "kelvo", "address": "001a7dda7113", "battery": 80 },
  { "family": "kelvo", "address": "c0ffee000102", "service": "6801" },
  { "family": "none", "address": "a0a1a2a3a4a5" } ] })";

class ReaderBackendTest : public ::testing::Test {
 protected:
  void SetUp() override { std::ofstream(scenarioPath) << kScenario; }
  void TearDown() override {
    for (const char* name : {"KELVO_BLE_BACKEND", "KELVO_SIM_SCENARIO", "KELVO_SIM_CONTROL"}) unsetenv(name);
  }

  // The lines the control pipe has answered so far, once there are `count` of them.
  std::vector<std::string> answers(size_t count) {
    std::vector<std::string> lines;
    for (int attempt = 0; attempt < 500 && lines.size() < count; ++attempt) {
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
      lines.clear();
      std::ifstream file(controlPath + ".out");
      for (std::string line; std::getline(file, line);) lines.push_back(line);
    }
    return lines;
  }

  kelvo::test::SettingsFixture settingsStore;
  const std::string scenarioPath = settingsStore.directory.file("scenario.json");
  const std::string controlPath = settingsStore.directory.file("control");
};

TEST_F(ReaderBackendTest, SimulatedRadioFromTheEnvironmentFindsTheReadersOfBothServiceVariants) {
  setenv("KELVO_BLE_BACKEND", "sim", 1);
  setenv("KELVO_SIM_SCENARIO", scenarioPath.c_str(), 1);
  std::unique_ptr<ReaderBackend> backend = ReaderBackend::fromEnvironment();
  ASSERT_TRUE(backend->isSimulated());
  ASSERT_NE(backend->scenario(), nullptr);
  backend->pollOnce();
  std::set<std::string> addresses;
  for (const auto& native : backend->natives()->getProvided()) addresses.insert(native->getAddress());
  EXPECT_EQ(addresses, (std::set<std::string>{"001a7dda7113", "c0ffee000102"}));
}

TEST_F(ReaderBackendTest, SimulatedRadioWithoutAScenarioIsRefusedWithTheReason) {
  setenv("KELVO_BLE_BACKEND", "sim", 1);
  EXPECT_THROW(ReaderBackend::fromEnvironment(), kelvo::simulator::ScenarioError);
  setenv("KELVO_SIM_SCENARIO", settingsStore.directory.file("missing.json").c_str(), 1);
  EXPECT_THROW(ReaderBackend::fromEnvironment(), kelvo::simulator::ScenarioError);
}

TEST_F(ReaderBackendTest, ControlPipeMovesTheReadersAndAnswersEachCommand) {
  setenv("KELVO_SIM_CONTROL", controlPath.c_str(), 1);
  std::unique_ptr<ReaderBackend> backend = ReaderBackend::fromScenarioFile(scenarioPath);
  {
    // One writer after another, each closing the pipe, as scripts use it.
    std::ofstream(controlPath) << "battery 001a7dda7113 12\n";
    std::ofstream(controlPath) << "usb 001a7dda7113 7\n\nremove-reader c0ffee000102\n";
  }
  EXPECT_EQ(answers(3), (std::vector<std::string>{"ok", "error: usb takes 0 or 1", "ok"}));
  EXPECT_EQ(backend->scenario()->reader("001a7dda7113")->state().battery, 12);
  EXPECT_EQ(backend->radio()->findPeripheral("c0ffee000102"), nullptr) << "taken off the air";
}

}  // namespace
