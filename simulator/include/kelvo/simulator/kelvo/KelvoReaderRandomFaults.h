// SPDX-License-Identifier: Apache-2.0
#pragma once
// Faults an emulated reader draws at random for every answer, as a bad radio would inflict them: packages
// lost, repeated or out of order, a damaged tag, a late answer, a link that drops. Every draw comes from one
// generator seeded by the caller, so the n-th answer of a reader meets the same faults again when a run is
// repeated with the same seed. Not thread-safe: the emulator draws under its own lock.

#include <cstdint>
#include <optional>
#include <random>
#include <string>
#include <vector>

namespace kelvo::simulator {

class KelvoReaderRandomFaults {
 public:
  struct Rates {
    uint64_t seed = 0;
    // Per answer package; at most one of the three hits a package.
    double dropPackage = 0;
    double repeatPackage = 0;
    double reorderPackages = 0;  // the package swaps places with the one after it
    double corruptTag = 0;       // per encrypted answer
    double delay = 0;            // per answer; the delay is drawn from 1 to maxDelayMs
    int maxDelayMs = 2000;
    double dropLink = 0;  // per answer: half before the request is served, half while it is answered
  };

  // How many faults of each kind were inflicted so far.
  struct Tally {
    uint64_t served =
        0;  // requests that opened and met the draws (the status-5 answer to one that did not is not counted)
    uint64_t dropped = 0;
    uint64_t repeated = 0;
    uint64_t reordered = 0;
    uint64_t corrupted = 0;
    uint64_t delayed = 0;
    uint64_t linkDrops = 0;
  };

  using Packages = std::vector<std::vector<uint8_t>>;

  explicit KelvoReaderRandomFaults(const Rates& rates);

  // Sets one field by its name in scenario files and control commands ("seed", "drop-package",
  // "repeat-package", "reorder-packages", "corrupt-tag", "delay", "max-delay-ms", "drop-link"); the reason
  // when the name is unknown or the value out of range.
  static std::optional<std::string> setField(Rates& rates, const std::string& name, double value);
  static std::vector<std::string> fieldNames();

  // One draw each, in the order an answer meets them.
  bool dropsLinkBeforeServing();
  bool corruptsTag();
  void disturb(Packages& packages);
  int delayMs();
  // How many packages of the answer go out before the link drops, when it drops.
  std::optional<size_t> dropsLinkAfter(size_t packageCount);

  const Rates& rates() const { return configured; }
  const Tally& tally() const { return counted; }
  static std::string describe(const Tally& tally);

 private:
  bool chance(double rate);
  uint64_t below(uint64_t bound);

  const Rates configured;
  std::mt19937_64 generator;
  Tally counted;
};

}  // namespace kelvo::simulator
