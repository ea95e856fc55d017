// SPDX-License-Identifier: Apache-2.0
#pragma once
// A scenario file with two emulated Kelvo readers of different generations and one peripheral that is no
// reader, written to a directory of the test's.

#include <fstream>
#include <string>

namespace kelvo::test {

struct TwoReaderScenario {
  static constexpr const char* kFirst = "001a7dda7113";
  static constexpr const char* kSecond = "001a7dda8224";
  static constexpr const char* kNotAReader = "a0a1a2a3a4a5";

  static std::string write(const std::string& path) {
    std::ofstream(path) << R"({ "devices": [
      { "family": "kelvo", "address": "001a7dda7113", "name": "Kelvo 5123456789", "generation": 1, "service": "6803",
        "descriptor": { "Serial": "5123456789", "Firmware": "1.4.2", "Hardware": "1.2rev3", "Build": "2026-01-01" },
        "battery": 80, "usb": 0,
        "settings": { "1": 2, "2": 1, "3": 0, "4": 1, "5": 3, "6": 1, "7": 1, "8": -70 },
        "ranges": [[480, 1080], [1920, 2520], [-1, -1], [-1, -1], [-1, -1], [-1, -1], [-1, -1]],
        "card": { "atr": "3B8180018080" } },
      { "family": "kelvo", "address": "001A7DDA8224", "name": "Kelvo K2000000042", "generation": 2, "service": "6803",
        "descriptor": { "Serial": "K2000000042", "Firmware": "2.1.0", "Hardware": "2.0rev1", "Build": "2026-02-01" },
        "battery": 15, "usb": 1 },
      { "family": "none", "address": "a0a1a2a3a4a5", "name": "Heart rate strap" }
    ] })";
    return path;
  }
};

}  // namespace kelvo::test
