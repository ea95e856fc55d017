// SPDX-License-Identifier: Apache-2.0
#pragma once
// The firmware catalogue: every valid descriptor found under the catalogue folders, in the order they were found,
// and the choice of the update for one reader.
//
// A descriptor (any "*.xml" file) names one image and the readers it fits:
//   <firmware version="2"> <name/> <version/> <description/> <date>31.12.2026 23:59</date> <fileId/>
//     <method/> <serial/> <hardware/> <bootloader/> <firmware/> </firmware>
// The last five are POSIX extended expressions that must match the reader's whole value (".*" when absent). A
// descriptor with anything wrong (unreadable, not XML, another root, a root version below 2, no name, version or
// date, a pattern that does not compile, no image file) is left out; the rest of the catalogue still loads.

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "trevalon/firmware/Firmware.h"

namespace trevalon {

class FirmwareFlasher {
 public:
  // What matching reads of a reader: its descriptor values (Serial, Firmware, Hardware, Bootloader, MAC; a missing
  // one reads as empty), its name for messages, and where its messages go.
  struct Reader {
    std::map<std::string, std::string> values;
    std::string displayName;
    std::function<void(const std::string&)> debug;
    std::function<void(const std::string&)> error;

    std::string value(const std::string& key) const;
  };

  // The largest descriptor and image read; anything larger is not firmware for a reader.
  static constexpr uintmax_t kLargestDescriptor = uintmax_t{1024} * 1024;
  static constexpr uintmax_t kLargestImage = uintmax_t{64} * 1024 * 1024;

  // Adds every valid descriptor under the folder, its subfolders included; a missing folder adds nothing.
  void load(const std::string& directory);
  static std::shared_ptr<Firmware> parse(const std::string& path);
  // Whether the image fits the reader for the update method ("ble" or "usb"); says why not on the reader's debug.
  static bool match(const Firmware& firmware, const Reader& reader, const std::string& method);
  // The newest image above the reader's firmware that fits, trying the methods in order; empty when there is none,
  // or when two different descriptors offer the same newest version for the same method (ambiguous).
  std::shared_ptr<Firmware> findUpdate(const Reader& reader, const std::vector<std::string>& methods) const;

  const std::vector<std::shared_ptr<Firmware>>& firmwares() const { return list; }

 private:
  std::vector<std::shared_ptr<Firmware>> list;
};

}  // namespace trevalon
