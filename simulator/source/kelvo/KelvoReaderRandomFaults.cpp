// SPDX-License-Identifier: Apache-2.0
#include "kelvo/simulator/kelvo/KelvoReaderRandomFaults.h"

#include <cmath>
#include <functional>
#include <map>
#include <utility>

namespace kelvo::simulator {
namespace {

constexpr int kLongestDelayMs = 60000;

bool isRate(double value) { return std::isfinite(value) && value >= 0.0 && value <= 1.0; }

using Setter = std::function<std::optional<std::string>(KelvoReaderRandomFaults::Rates&, double)>;

Setter rate(double KelvoReaderRandomFaults::Rates::*field) {
  return [field](KelvoReaderRandomFaults::Rates& rates, double value) -> std::optional<std::string> {
    if (!isRate(value)) return std::string("a rate is a number from 0 to 1");
    rates.*field = value;
    return std::nullopt;
  };
}

const std::map<std::string, Setter>& setters() {
  using Rates = KelvoReaderRandomFaults::Rates;
  static const std::map<std::string, Setter> table = {
      {"seed",
       [](Rates& rates, double value) -> std::optional<std::string> {
         // Seeds travel as decimal text; a double holds every integer up to 2^53 exactly.
         if (!std::isfinite(value) || value < 0 || value > 9007199254740992.0 || std::floor(value) != value) {
           return std::string("a seed is a whole number from 0 to 2^53");
         }
         rates.seed = static_cast<uint64_t>(value);
         return std::nullopt;
       }},
      {"drop-package", rate(&Rates::dropPackage)},
      {"repeat-package", rate(&Rates::repeatPackage)},
      {"reorder-packages", rate(&Rates::reorderPackages)},
      {"corrupt-tag", rate(&Rates::corruptTag)},
      {"delay", rate(&Rates::delay)},
      {"max-delay-ms",
       [](Rates& rates, double value) -> std::optional<std::string> {
         if (!std::isfinite(value) || value < 1 || value > kLongestDelayMs || std::floor(value) != value) {
           return std::string("max-delay-ms is a whole number from 1 to 60000");
         }
         rates.maxDelayMs = static_cast<int>(value);
         return std::nullopt;
       }},
      {"drop-link", rate(&Rates::dropLink)},
  };
  return table;
}

}  // namespace

KelvoReaderRandomFaults::KelvoReaderRandomFaults(const Rates& rates) : configured(rates), generator(rates.seed) {}

std::optional<std::string> KelvoReaderRandomFaults::setField(Rates& rates, const std::string& name, double value) {
  auto setter = setters().find(name);
  if (setter == setters().end()) {
    std::string known;
    for (const std::string& candidate : fieldNames()) known += (known.empty() ? "" : ", ") + candidate;
    return "unknown random fault '" + name + "' (known: " + known + ")";
  }
  return setter->second(rates, value);
}

std::vector<std::string> KelvoReaderRandomFaults::fieldNames() {
  std::vector<std::string> names;
  for (const auto& entry : setters()) names.push_back(entry.first);
  return names;
}

bool KelvoReaderRandomFaults::chance(double rate) {
  // 53 random bits make a uniform number in [0, 1) the same way on every standard library.
  const double uniform = static_cast<double>(generator() >> 11) * 0x1.0p-53;
  return uniform < rate;
}

uint64_t KelvoReaderRandomFaults::below(uint64_t bound) { return bound == 0 ? 0 : generator() % bound; }

bool KelvoReaderRandomFaults::dropsLinkBeforeServing() {
  ++counted.served;
  if (!chance(configured.dropLink / 2)) return false;
  ++counted.linkDrops;
  return true;
}

bool KelvoReaderRandomFaults::corruptsTag() {
  if (!chance(configured.corruptTag)) return false;
  ++counted.corrupted;
  return true;
}

void KelvoReaderRandomFaults::disturb(Packages& packages) {
  Packages disturbed;
  disturbed.reserve(packages.size() + 2);
  for (size_t index = 0; index < packages.size(); ++index) {
    // One draw per package decides which of the three faults hits it, if any.
    const double drop = configured.dropPackage;
    const double repeat = drop + configured.repeatPackage;
    const double reorder = repeat + configured.reorderPackages;
    const double uniform = static_cast<double>(generator() >> 11) * 0x1.0p-53;
    if (uniform < drop) {
      ++counted.dropped;
    } else if (uniform < repeat) {
      ++counted.repeated;
      disturbed.push_back(packages[index]);
      disturbed.push_back(packages[index]);
    } else if (uniform < reorder && index + 1 < packages.size()) {
      ++counted.reordered;
      disturbed.push_back(packages[index + 1]);
      disturbed.push_back(packages[index]);
      ++index;
    } else {
      disturbed.push_back(packages[index]);
    }
  }
  packages.swap(disturbed);
}

int KelvoReaderRandomFaults::delayMs() {
  if (!chance(configured.delay)) return 0;
  ++counted.delayed;
  return 1 + static_cast<int>(below(static_cast<uint64_t>(configured.maxDelayMs)));
}

std::optional<size_t> KelvoReaderRandomFaults::dropsLinkAfter(size_t packageCount) {
  if (!chance(configured.dropLink / 2)) return std::nullopt;
  ++counted.linkDrops;
  return static_cast<size_t>(below(packageCount));
}

std::string KelvoReaderRandomFaults::describe(const Tally& counted) {
  return "served=" + std::to_string(counted.served) + " dropped=" + std::to_string(counted.dropped) +
         " repeated=" + std::to_string(counted.repeated) + " reordered=" + std::to_string(counted.reordered) +
         " corrupted=" + std::to_string(counted.corrupted) + " delayed=" + std::to_string(counted.delayed) +
         " link-drops=" + std::to_string(counted.linkDrops);
}

}  // namespace kelvo::simulator
