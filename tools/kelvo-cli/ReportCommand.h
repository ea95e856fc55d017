// SPDX-License-Identifier: Apache-2.0
#pragma once
// `kelvo-cli report`: what a bug report needs, in one place. The versions, the radio, whether kelvo-driver runs
// and its version, each reader with its descriptor and state, and the driver's recent warnings and errors. It
// holds no secrets: the descriptor, the state and the driver's log carry no keys, PINs or card data.

#include <string>

#include "DriverSession.h"
#include "ReaderSession.h"

namespace kelvo::cli {

class ReportCommand {
 public:
  static constexpr size_t kRecentLines = 20;

  // `emulated` is the in-process session of a scenario, or nothing: real readers are asked through the driver.
  ReportCommand(const DriverSession& driver, ReaderSession* emulated) : driver(driver), emulated(emulated) {}

  int run();

 private:
  void reportSystem();
  void reportDriverReaders();
  void reportEmulatedReaders();
  void reportRecentProblems();

  const DriverSession& driver;
  ReaderSession* emulated;
};

}  // namespace kelvo::cli
