// SPDX-License-Identifier: Apache-2.0
#pragma once
// Drives a running scenario by text commands, one per line, each answered by one line, "ok" or "error: ...":
//   insert ADDR [ATR]   a plain card with that ATR (hexadecimal) goes into the reader; without an ATR the
//                       reader's own card from its scenario goes back in, or a plain default card
//   remove ADDR         the card leaves the reader
//   battery ADDR 0-100  usb ADDR 0|1
//   drop ADDR           the reader's link drops and, the reader staying in range, comes back
//   random-faults ADDR seed=N [drop-package=R ...]   faults drawn at random for every answer, until
//   random-faults ADDR off                           ... stopped; "off" answers what they inflicted
//   add-reader JSON     a device object as in scenario files joins the air
//   remove-reader ADDR  the device leaves the air
//   piv-state ADDR      "ok tries N pin DIGITS blocked yes|no puk-tries N verified yes|no" of the reader's own
//                       PIV card (Kelvo or Pentaloq); its answer holds the PIN, so it is never logged
// The same commands reach kelvo-sim on its standard input and a program on the simulated radio through the
// FIFO named by KELVO_SIM_CONTROL, so tests and the demo can move readers inside other programs.

#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "kelvo/simulator/kelvo/KelvoReaderEmulator.h"
#include "kelvo/simulator/scenario/Scenario.h"
#include "trevalon/sim/EmulatedPeripheral.h"

namespace kelvo::simulator {

class ScenarioControl {
 public:
  // Where an added device goes on the air and how a removed one leaves it.
  using Place = std::function<void(const std::shared_ptr<trevalon::sim::EmulatedPeripheral>&)>;
  using Withdraw = std::function<void(const std::string& address)>;

  // The scenario must outlive the control; commands are serialised, but nothing else may change the
  // scenario's device lists while commands run.
  ScenarioControl(Scenario& scenario, Place place, Withdraw withdraw);

  std::string execute(const std::string& line);
  // Whether the command's answer holds a secret (a PIN) and must stay out of logs.
  static bool answerIsSecret(const std::string& line);

 private:
  using Arguments = std::vector<std::string>;

  std::string insertCard(const Arguments& arguments);
  std::string removeCard(const Arguments& arguments);
  std::string battery(const Arguments& arguments);
  std::string usb(const Arguments& arguments);
  std::string drop(const Arguments& arguments);
  std::string settings(const Arguments& arguments);
  std::string randomFaults(const Arguments& arguments);
  std::string addReader(const std::string& json);
  std::string removeReader(const Arguments& arguments);
  std::string pivState(const Arguments& arguments);
  // Null with `why` set when the arguments do not name one Kelvo reader of the scenario.
  std::shared_ptr<KelvoReaderEmulator> reader(const Arguments& arguments, size_t count, std::string& why) const;

  Scenario& scenario;
  const Place place;
  const Withdraw withdraw;
  std::mutex lock;
};

}  // namespace kelvo::simulator
