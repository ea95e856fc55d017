// SPDX-License-Identifier: Apache-2.0
#include "Campaign.h"

#include <filesystem>
#include <sstream>
#include <thread>

#include "DriverControl.h"
#include "DriverExchange.h"
#include "DriverProcess.h"
#include "RequestMix.h"
#include "TempDirectory.h"

namespace kelvo::campaign {
namespace {

using Clock = std::chrono::steady_clock;
using namespace std::chrono_literals;

constexpr auto kStartLimit = 60s;
constexpr auto kControlLimit = 5s;
constexpr uint8_t kVersionRequest = 16;
// Seeds travel to the emulators as decimal text read into a double.
constexpr uint64_t kSeedMask = (uint64_t{1} << 53) - 1;

// splitmix64: independent streams for the threads and the readers from the one seed the campaign prints.
uint64_t mix(uint64_t value) {
  value += 0x9E3779B97F4A7C15ull;
  value = (value ^ (value >> 30)) * 0xBF58476D1CE4E5B9ull;
  value = (value ^ (value >> 27)) * 0x94D049BB133111EBull;
  return value ^ (value >> 31);
}

std::string rate(double value) {
  std::ostringstream text;
  text << value;
  return text.str();
}

}  // namespace

std::atomic<bool> Campaign::stopRequested{false};
static_assert(std::atomic<bool>::is_always_lock_free, "stopEarly() runs in a signal handler");

Campaign::Campaign(CampaignOptions chosen) : options(std::move(chosen)) {
  for (const simulator::KelvoReaderConfig& reader : scenario.readers()) {
    truths.push_back(std::make_unique<ReaderTruth>(reader, CampaignScenario::labelOf(reader)));
  }
}

Campaign::~Campaign() = default;

uint64_t Campaign::seedOf(uint64_t stream) const { return mix(options.seed ^ mix(stream)) & kSeedMask; }

std::string Campaign::socketOf(size_t reader) const { return driver->socketOf(truths.at(reader)->address()); }

bool Campaign::driverAlive() {
  if (!driver->isRunning()) driverDied = true;
  return !driverDied;
}

bool Campaign::waitUntilServing(std::ostream& out) {
  const auto deadline = Clock::now() + kStartLimit;
  std::string version;
  while (version.empty() && Clock::now() < deadline && driverAlive()) {
    DriverExchange answer = DriverExchange::run(socketOf(0), {kVersionRequest}, 2s);
    if (answer.outcome == DriverExchange::Outcome::answered && answer.answer.front() == 0) {
      version.assign(answer.answer.begin() + 1, answer.answer.end());
    } else {
      std::this_thread::sleep_for(50ms);
    }
  }
  judge = std::make_unique<AnswerJudge>(truths, version);
  for (size_t reader = 0; reader < truths.size(); ++reader) {
    CampaignRequest descriptor;
    descriptor.reader = reader;
    descriptor.bytes = {1};
    bool serving = false;
    while (!serving && Clock::now() < deadline && driverAlive()) {
      const AnswerJudge::Pending pending = judge->prepare(descriptor);
      DriverExchange answer = DriverExchange::run(socketOf(reader), descriptor.bytes, options.deadline);
      const Verdict verdict = judge->judge(descriptor, pending, answer);
      if (verdict.kind == Verdict::Kind::wrong) {
        out << "before any fault, " << truths[reader]->label() << " answered wrong: " << verdict.what << "\n";
        return false;
      }
      serving = verdict.kind == Verdict::Kind::correct;
      if (!serving) std::this_thread::sleep_for(50ms);
    }
    if (!serving) {
      out << truths[reader]->label() << " " << truths[reader]->address() << " never served before the faults\n";
      return false;
    }
  }
  return !version.empty();
}

bool Campaign::switchFaults(bool on, std::ostream& out) {
  DriverControl control(driver->control);
  const double eachPackageFault = options.packageFaults / 3;
  bool switched = true;
  for (size_t reader = 0; reader < truths.size(); ++reader) {
    std::string command = "random-faults " + truths[reader]->address();
    if (on) {
      command += " seed=" + std::to_string(seedOf(0x100 + reader)) + " drop-package=" + rate(eachPackageFault) +
                 " repeat-package=" + rate(eachPackageFault) + " reorder-packages=" + rate(eachPackageFault) +
                 " corrupt-tag=" + rate(options.corruptTag) + " delay=" + rate(options.delay) +
                 " max-delay-ms=" + std::to_string(options.maxDelayMs) + " drop-link=" + rate(options.dropLink);
    } else {
      command += " off";
    }
    std::optional<std::string> answer = control.run(command, kControlLimit);
    const bool ok = answer && answer->rfind("ok", 0) == 0;
    if (!on || !ok) {
      out << "  " << truths[reader]->label() << " " << truths[reader]->address() << " faults " << (on ? "on" : "off")
          << ": " << (answer ? *answer : "no answer") << "\n";
    }
    switched = switched && ok;
  }
  return switched;
}

void Campaign::clientThread(size_t thread) {
  RequestMix mix(seedOf(thread + 1), thread, options.threads, truths.size());
  while (!stopRequested && !driverDied && issued.fetch_add(1) < options.requests) {
    const CampaignRequest request = mix.next();
    const AnswerJudge::Pending pending = judge->prepare(request);
    const DriverExchange answer = DriverExchange::run(socketOf(request.reader), request.bytes, options.deadline);
    if (answer.outcome == DriverExchange::Outcome::notConnected) driverAlive();
    tally.add(truths[request.reader]->label(), judge->judge(request, pending, answer));
    ++done;
  }
}

void Campaign::runClients(std::ostream& out) {
  std::vector<std::thread> clients;
  for (size_t thread = 0; thread < options.threads; ++thread)
    clients.emplace_back(&Campaign::clientThread, this, thread);
  const size_t step = std::max<size_t>(options.requests / 10, 1);
  size_t reported = 0;
  while (done < options.requests && !driverDied && !stopRequested) {
    std::this_thread::sleep_for(200ms);
    if (done / step > reported) {
      reported = done / step;
      out << "  " << done << "/" << options.requests << " correct=" << tally.correct() << " failed=" << tally.failed()
          << " wrong=" << tally.wrong() << " unanswered=" << tally.unanswered() << std::endl;
    }
    if (!driver->isRunning()) driverDied = true;
  }
  for (std::thread& client : clients) client.join();
  if (stopRequested) out << "  stopped early after " << done << " requests" << std::endl;
}

// Probes a reader until one round of reads is entirely correct, within the recovery limit.
bool Campaign::recover(size_t reader, std::chrono::milliseconds& took) {
  const auto start = Clock::now();
  const auto deadline = start + options.recoveryLimit;
  using Kind = CampaignRequest::Kind;
  const std::vector<std::pair<Kind, std::vector<uint8_t>>> probes = {
      {Kind::descriptor, {1}},      {Kind::readSettings, {5, 8}}, {Kind::readRanges, {5, 11}},
      {Kind::batteryLevel, {5, 5}}, {Kind::readerState, {5, 13}},
  };
  while (Clock::now() < deadline) {
    bool round = true;
    for (size_t i = 0; i < probes.size() && round; ++i) {
      CampaignRequest probe;
      probe.kind = probes[i].first;
      probe.reader = reader;
      probe.bytes = probes[i].second;
      const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
      if (left.count() <= 0) return false;
      const AnswerJudge::Pending pending = judge->prepare(probe);
      Verdict verdict = judge->judge(probe, pending, DriverExchange::run(socketOf(reader), probe.bytes, left));
      if (verdict.kind == Verdict::Kind::unanswered) verdict = Verdict::failed(verdict.what + " (recovery window)");
      recoveryTally.add(truths[reader]->label(), verdict);
      round = verdict.kind == Verdict::Kind::correct;
    }
    if (round) {
      took = std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start);
      return true;
    }
    std::this_thread::sleep_for(20ms);
  }
  return false;
}

bool Campaign::checkRecovery(std::ostream& out) {
  std::vector<std::thread> probes;
  std::vector<char> recovered(truths.size(), 0);
  std::vector<std::chrono::milliseconds> took(truths.size(), std::chrono::milliseconds(0));
  for (size_t reader = 0; reader < truths.size(); ++reader) {
    probes.emplace_back(
        [this, reader, &recovered, &took] { recovered[reader] = recover(reader, took[reader]) ? 1 : 0; });
  }
  for (std::thread& probe : probes) probe.join();
  bool all = true;
  for (size_t reader = 0; reader < truths.size(); ++reader) {
    out << "  " << truths[reader]->label() << " " << truths[reader]->address() << " "
        << (recovered[reader]
                ? "serves correctly again after " + std::to_string(took[reader].count()) + " ms"
                : "did NOT serve correctly within " + std::to_string(options.recoveryLimit.count()) + " ms")
        << "\n";
    all = all && recovered[reader];
  }
  return all;
}

// The settings the emulators hold at the end are among those the campaign may have left there.
bool Campaign::checkWhatTheReadersHold(std::ostream& out) {
  DriverControl control(driver->control);
  bool agree = true;
  for (size_t reader = 0; reader < truths.size(); ++reader) {
    std::optional<std::string> answer = control.run("settings " + truths[reader]->address(), kControlLimit);
    if (!answer || answer->rfind("ok", 0) != 0) {
      out << "  " << truths[reader]->label() << ": the emulator's settings could not be read\n";
      agree = false;
      continue;
    }
    std::istringstream pairs(answer->substr(2));
    for (std::string pair; pairs >> pair;) {
      const size_t equals = pair.find('=');
      const int id = std::stoi(pair.substr(0, equals));
      const int value = std::stoi(pair.substr(equals + 1));
      if (id < 1 || id > 15) continue;
      bool possible = false;
      for (const ValueHistory::Value& candidate : truths[reader]->setting(static_cast<uint8_t>(id)).possibleNow()) {
        possible = possible || candidate == ValueHistory::Value{static_cast<uint8_t>(value)};
      }
      if (!possible) {
        out << "  " << truths[reader]->label() << ": the emulator holds setting " << id << " = " << value
            << ", which no request left there\n";
        agree = false;
      }
    }
  }
  return agree;
}

int Campaign::run(std::ostream& out) {
  out << "campaign: seed=" << options.seed << " requests=" << options.requests << " threads=" << options.threads
      << " faults=" << (options.faults ? "on" : "off") << std::endl;
  files = std::make_unique<test::TempDirectory>();
  const std::string scenarioFile = files->file("campaign.json");
  scenario.writeTo(scenarioFile);
  driver = std::make_unique<test::DriverProcess>(scenarioFile, !options.keepLogIn.empty());
  std::vector<std::string> violations;
  if (!waitUntilServing(out)) {
    violations.push_back("the readers were not served before the faults");
  } else {
    if (options.faults && !switchFaults(true, out)) violations.push_back("the faults could not be switched on");
    runClients(out);
    out << "faults inflicted:\n";
    if (options.faults && !switchFaults(false, out)) violations.push_back("the faults could not be switched off");
    out << "recovery:\n";
    if (!driverDied && !checkRecovery(out)) violations.push_back("a reader did not recover in time");
    if (!driverDied && !checkWhatTheReadersHold(out)) violations.push_back("a reader holds what no request wrote");
  }
  const bool crashed = driverDied || !driver->isRunning();
  const int exitStatus = driver->stop();
  if (crashed || exitStatus != 0) {
    violations.push_back("kelvo-driver crashed, or did not end with status 0 within 10 s of SIGTERM");
  }
  if (tally.wrong() > 0) violations.push_back("wrong answers");
  if (tally.unanswered() > 0) violations.push_back("requests without an answer within the deadline");
  if (recoveryTally.wrong() > 0) violations.push_back("wrong answers after the faults stopped");
  if (!options.keepLogIn.empty()) {
    std::error_code ignored;
    std::filesystem::create_directories(options.keepLogIn, ignored);
    for (const char* name : {"driver.log", "driver.log.1"}) {
      std::filesystem::copy_file(driver->data + "/" + name, options.keepLogIn + "/" + name,
                                 std::filesystem::copy_options::overwrite_existing, ignored);
    }
  }
  tally.report(out, "during the faults");
  recoveryTally.report(out, "after the faults stopped");
  out << "campaign seed=" << options.seed << " requests=" << done << " correct=" << tally.correct()
      << " failed=" << tally.failed() << " wrong=" << tally.wrong() << " unanswered=" << tally.unanswered()
      << " driver=" << (crashed || exitStatus != 0 ? "FAILED" : "ok") << std::endl;
  for (const std::string& violation : violations) out << "VIOLATION: " << violation << "\n";
  out << (violations.empty() ? "PASS" : "FAIL") << " (repeat with --seed " << options.seed << ")" << std::endl;
  return violations.empty() ? 0 : 1;
}

}  // namespace kelvo::campaign
