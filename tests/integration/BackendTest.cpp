// SPDX-License-Identifier: Apache-2.0
// Choosing the radio from the environment, what a poll reports (readers of every family, readers that leave,
// links brought up), and moving the simulated radio's readers through the control pipe while a program runs.

#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <set>
#include <thread>

#include "SettingsFixture.h"
#include "kelvo/simulator/scenario/ScenarioControl.h"
#include "kelvo/simulator/scenario/ScenarioRadio.h"
#include "trevalon/ble/Backend.h"
#include "trevalon/ble/BackendError.h"
#include "trevalon/sim/SimulatedRadio.h"

using kelvo::simulator::ScenarioRadio;
using trevalon::ble::Backend;
using trevalon::ble::BackendError;

namespace {

const char* const kScenario = R"({ "devices": [
  { "family": "kelvo", "address": "001a7dda7113", "battery": 80 },
  { "family": "kelvo", "address": "c0ffee000102", "service": "6801" },
  { "family": "pentaloq", "address": "5e0a1c000001" },
  { "family": "none", "address": "a0a1a2a3a4a5" } ] })";

class BackendTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ScenarioRadio::registerAsSim();
    std::ofstream(scenarioPath) << kScenario;
  }
  void TearDown() override {
    for (const char* name : {"KELVO_BLE_BACKEND", "KELVO_SIM_SCENARIO", "KELVO_SIM_CONTROL"}) unsetenv(name);
  }

  static std::set<std::string> nativeAddresses(const Backend& backend) {
    std::set<std::string> addresses;
    for (const auto& native : backend.natives()->getProvided()) addresses.insert(native->getAddress());
    return addresses;
  }

  static ScenarioRadio& scenarioRadio(Backend& backend) { return dynamic_cast<ScenarioRadio&>(backend.radio()); }

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

TEST_F(BackendTest, SimulatedRadioFromTheEnvironmentFindsTheReadersOfEveryServiceAndNothingElse) {
  setenv("KELVO_BLE_BACKEND", "sim", 1);
  setenv("KELVO_SIM_SCENARIO", scenarioPath.c_str(), 1);
  EXPECT_NO_THROW(Backend::checkEnvironment());
  std::unique_ptr<Backend> backend = Backend::fromEnvironment();
  backend->poll();
  EXPECT_EQ(nativeAddresses(*backend), (std::set<std::string>{"001a7dda7113", "c0ffee000102", "5e0a1c000001"}));
}

TEST_F(BackendTest, KelvoServicesOnlyLeaveThePentaloqReaderOut) {
  Backend::Options kelvoOnly;
  kelvoOnly.services = trevalon::ble::kelvoReaderServices();
  std::unique_ptr<Backend> backend = Backend::create("sim", scenarioPath, kelvoOnly);
  backend->poll();
  EXPECT_EQ(nativeAddresses(*backend), (std::set<std::string>{"001a7dda7113", "c0ffee000102"}));
}

TEST_F(BackendTest, BadEnvironmentsAreRefusedWithOneMessageThatSaysWhatIsWrong) {
  struct Case {
    const char* backend;
    const char* scenario;
    const char* expected;
  };
  const std::string missing = settingsStore.directory.file("missing.json");
  for (const Case& bad :
       {Case{"sim", nullptr, "KELVO_BLE_BACKEND=sim needs KELVO_SIM_SCENARIO to name a scenario file"},
        Case{"sim", "", "KELVO_BLE_BACKEND=sim needs KELVO_SIM_SCENARIO"},
        Case{"sim", missing.c_str(), "cannot use scenario "},
        Case{"radio-of-another-build", nullptr,
             "KELVO_BLE_BACKEND=radio-of-another-build: this build has no radio \"radio-of-another-build\" (it has: "
             "bluez, sim)"}}) {
    SCOPED_TRACE(std::string(bad.backend) + " " + (bad.scenario ? bad.scenario : "(unset)"));
    setenv("KELVO_BLE_BACKEND", bad.backend, 1);
    if (bad.scenario) {
      setenv("KELVO_SIM_SCENARIO", bad.scenario, 1);
    } else {
      unsetenv("KELVO_SIM_SCENARIO");
    }
    try {
      Backend::fromEnvironment();
      ADD_FAILURE() << "accepted";
    } catch (const BackendError& error) {
      EXPECT_NE(std::string(error.what()).find(bad.expected), std::string::npos) << error.what();
    }
    // The check before anything is built refuses what it can tell without reading files.
    if (bad.scenario == nullptr || *bad.scenario == '\0') {
      EXPECT_THROW(Backend::checkEnvironment(), BackendError);
    }
  }
}

TEST_F(BackendTest, AReaderThatLeavesIsReportedLostAndOneThatComesBackIsFoundAgain) {
  std::unique_ptr<Backend> backend = Backend::create("sim", scenarioPath, Backend::Options());
  backend->poll();
  ASSERT_EQ(nativeAddresses(*backend).count("001a7dda7113"), 1u);
  ScenarioRadio& radio = scenarioRadio(*backend);
  auto reader = radio.air()->findPeripheral("001a7dda7113");
  ASSERT_NE(reader, nullptr);
  radio.air()->removePeripheral("001a7dda7113");
  backend->poll();
  EXPECT_EQ(nativeAddresses(*backend), (std::set<std::string>{"c0ffee000102", "5e0a1c000001"}));
  radio.air()->addPeripheral(reader);
  backend->poll();
  EXPECT_EQ(nativeAddresses(*backend).count("001a7dda7113"), 1u);
}

TEST_F(BackendTest, LinksAreBroughtUpOnlyWhenAsked) {
  for (bool bringUp : {false, true}) {
    SCOPED_TRACE(bringUp ? "bring up links" : "leave links alone");
    Backend::Options options;
    options.bringUpLinks = bringUp;
    std::unique_ptr<Backend> backend = Backend::create("sim", scenarioPath, options);
    backend->poll();
    ASSERT_EQ(backend->natives()->getProvided().size(), 3u);
    for (const auto& native : backend->natives()->getProvided()) {
      EXPECT_EQ(native->isConnected(), bringUp) << native->getAddress();
    }
  }
}

TEST_F(BackendTest, ControlPipeMovesTheReadersAndAnswersEachCommand) {
  setenv("KELVO_SIM_CONTROL", controlPath.c_str(), 1);
  std::unique_ptr<Backend> backend = Backend::create("sim", scenarioPath, Backend::Options());
  {
    // One writer after another, each closing the pipe, as scripts use it.
    std::ofstream(controlPath) << "battery 001a7dda7113 12\n";
    std::ofstream(controlPath) << "usb 001a7dda7113 7\n\nremove-reader c0ffee000102\n";
  }
  EXPECT_EQ(answers(3), (std::vector<std::string>{"ok", "error: usb takes 0 or 1", "ok"}));
  EXPECT_EQ(scenarioRadio(*backend).scenario().reader("001a7dda7113")->state().battery, 12);
  EXPECT_EQ(scenarioRadio(*backend).air()->findPeripheral("c0ffee000102"), nullptr) << "taken off the air";
}

}  // namespace
