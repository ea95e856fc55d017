// SPDX-License-Identifier: Apache-2.0
#pragma once
// The fault campaign: kelvo-driver as a process with the campaign's four emulated readers, mixed requests from
// several client threads while the emulators inject random faults, then the faults stopped and every reader
// checked to serve correctly again. It prints the seed and the counts in one line and says what was violated:
// a crash of the driver, a request without an answer within the deadline, a wrong answer, a reader that did
// not recover in time.

#include <atomic>
#include <chrono>
#include <cstdint>
#include <memory>
#include <ostream>
#include <string>
#include <vector>

#include "AnswerJudge.h"
#include "CampaignScenario.h"
#include "CampaignTally.h"
#include "ReaderTruth.h"

namespace kelvo::test {
class DriverProcess;
class TempDirectory;
}  // namespace kelvo::test

namespace kelvo::campaign {

struct CampaignOptions {
  uint64_t seed = 0;
  size_t requests = 1000;
  size_t threads = 4;
  std::chrono::milliseconds deadline{30000};  // the application's client waits that long
  std::chrono::milliseconds recoveryLimit{5000};
  bool faults = true;
  double packageFaults = 0.05;  // per package, shared evenly by drop, repeat and reorder
  double corruptTag = 0.01;
  double delay = 0.05;
  int maxDelayMs = 2000;
  double dropLink = 0.01;
  std::string keepLogIn;  // a folder to copy the driver's log to
};

class Campaign {
 public:
  explicit Campaign(CampaignOptions options);
  ~Campaign();

  // 0 when every requirement held.
  int run(std::ostream& out);
  // Safe in a signal handler: no more requests are sent; the run checks recovery and reports what it has.
  static void stopEarly() { stopRequested = true; }

 private:
  std::string socketOf(size_t reader) const;
  bool waitUntilServing(std::ostream& out);
  bool switchFaults(bool on, std::ostream& out);
  void runClients(std::ostream& out);
  void clientThread(size_t thread);
  bool checkRecovery(std::ostream& out);
  bool recover(size_t reader, std::chrono::milliseconds& took);
  bool checkWhatTheReadersHold(std::ostream& out);
  uint64_t seedOf(uint64_t stream) const;
  bool driverAlive();

  const CampaignOptions options;
  CampaignScenario scenario;
  std::vector<std::unique_ptr<ReaderTruth>> truths;
  std::unique_ptr<test::TempDirectory> files;
  std::unique_ptr<test::DriverProcess> driver;
  std::unique_ptr<AnswerJudge> judge;
  CampaignTally tally;
  CampaignTally recoveryTally;
  std::atomic<size_t> issued{0};
  std::atomic<size_t> done{0};
  std::atomic<bool> driverDied{false};
  static std::atomic<bool> stopRequested;
};

}  // namespace kelvo::campaign
