// SPDX-License-Identifier: Apache-2.0
// kelvo-campaign: the fault campaign against kelvo-driver (docs/campaign.md).
//   kelvo-campaign [--requests N] [--threads T] [--seed S] [--deadline-ms MS] [--recovery-ms MS]
//                  [--package-faults R] [--corrupt-tag R] [--delay R] [--max-delay-ms MS] [--drop-link R]
//                  [--no-faults] [--keep-log DIR]

#include <csignal>
#include <cstdlib>
#include <iostream>
#include <random>
#include <string>

#include "Campaign.h"
#include "RequestMix.h"

namespace {

using kelvo::campaign::CampaignOptions;

[[noreturn]] void usage(const std::string& why, int status = 2) {
  if (status != 0) std::cerr << "kelvo-campaign: " << why << "\n";
  std::cerr << "usage: kelvo-campaign [--requests N] [--threads 1-" << kelvo::campaign::RequestMix::kMaxThreads
            << "] [--seed S] [--deadline-ms MS] [--recovery-ms MS]\n"
               "                      [--package-faults R] [--corrupt-tag R] [--delay R] [--max-delay-ms MS]\n"
               "                      [--drop-link R] [--no-faults] [--keep-log DIR]\n";
  std::exit(status);
}

uint64_t whole(const std::string& option, const char* text, uint64_t low, uint64_t high) {
  char* end = nullptr;
  const unsigned long long value = std::strtoull(text, &end, 10);
  if (*text == '\0' || *end != '\0' || *text == '-' || value < low || value > high) {
    usage(option + " takes a whole number from " + std::to_string(low) + " to " + std::to_string(high));
  }
  return value;
}

double fraction(const std::string& option, const char* text) {
  char* end = nullptr;
  const double value = std::strtod(text, &end);
  if (*text == '\0' || *end != '\0' || !(value >= 0.0 && value <= 1.0)) usage(option + " takes a rate from 0 to 1");
  return value;
}

CampaignOptions parse(int argc, char** argv) {
  CampaignOptions options;
  options.seed = std::random_device{}() ^ (static_cast<uint64_t>(std::random_device{}()) << 32);
  for (int i = 1; i < argc; ++i) {
    const std::string option = argv[i];
    if (option == "--help") {
      std::cout << "kelvo-campaign: the fault campaign against kelvo-driver (docs/campaign.md)\n";
      usage("--help", 0);
    }
    if (option == "--no-faults") {
      options.faults = false;
      continue;
    }
    if (i + 1 >= argc) usage("unknown option or missing value: " + option);
    const char* value = argv[++i];
    if (option == "--requests") {
      options.requests = whole(option, value, 1, 10000000);
    } else if (option == "--threads") {
      options.threads = whole(option, value, 1, kelvo::campaign::RequestMix::kMaxThreads);
    } else if (option == "--seed") {
      options.seed = whole(option, value, 0, UINT64_MAX);
    } else if (option == "--deadline-ms") {
      options.deadline = std::chrono::milliseconds(whole(option, value, 100, 600000));
    } else if (option == "--recovery-ms") {
      options.recoveryLimit = std::chrono::milliseconds(whole(option, value, 100, 600000));
    } else if (option == "--package-faults") {
      options.packageFaults = fraction(option, value);
    } else if (option == "--corrupt-tag") {
      options.corruptTag = fraction(option, value);
    } else if (option == "--delay") {
      options.delay = fraction(option, value);
    } else if (option == "--max-delay-ms") {
      options.maxDelayMs = static_cast<int>(whole(option, value, 1, 60000));
    } else if (option == "--drop-link") {
      options.dropLink = fraction(option, value);
    } else if (option == "--keep-log") {
      options.keepLogIn = value;
    } else {
      usage("unknown option " + option);
    }
  }
  return options;
}

}  // namespace

int main(int argc, char** argv) {
  // A driver that closes a connection early must not end the campaign.
  std::signal(SIGPIPE, SIG_IGN);
  kelvo::campaign::Campaign campaign(parse(argc, argv));
  // Ctrl-C ends a long run early with its recovery check and its counts so far.
  std::signal(SIGINT, [](int) { kelvo::campaign::Campaign::stopEarly(); });
  return campaign.run(std::cout);
}
