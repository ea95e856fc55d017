// SPDX-License-Identifier: Apache-2.0
// The udev rules shipped with the application open to the desktop user exactly the USB ids the code looks for: every
// reader id in any mode, every bootloader id of both generations and the Bridge's ids, and nothing else.
#include <gtest/gtest.h>

#include <fstream>
#include <regex>
#include <set>
#include <string>
#include <utility>

#include "bridge/kelvoctl/kelvoctl.h"
#include "trevalon/usb/ReaderUsbIds.h"

namespace {

using Ids = std::set<std::pair<int, int>>;

void add(Ids& ids, const std::vector<trevalon::usb::UsbId>& list) {
  for (const trevalon::usb::UsbId& id : list) ids.emplace(id.vendor, id.product);
}

TEST(UsbRules, TheRulesGrantTheIdsTheFlasherLooksFor) {
  std::ifstream rules(KELVO_USB_RULES);
  ASSERT_TRUE(rules) << KELVO_USB_RULES;
  const std::regex grant(
      R"re(^ATTR\{idVendor\}=="([0-9a-f]{4})", ATTR\{idProduct\}=="([0-9a-f]{4})", TAG\+="uaccess"$)re");
  Ids granted;
  std::string line;
  while (std::getline(rules, line)) {
    std::smatch match;
    if (std::regex_match(line, match, grant)) {
      granted.emplace(std::stoi(match[1], nullptr, 16), std::stoi(match[2], nullptr, 16));
    } else {
      EXPECT_TRUE(line.empty() || line[0] == '#' || line.rfind("SUBSYSTEM", 0) == 0 || line.rfind("ENV", 0) == 0 ||
                  line.rfind("LABEL", 0) == 0)
          << "a line the test does not know: " << line;
    }
  }
  Ids sought;
  add(sought, trevalon::usb::ReaderUsbIds::anyMode());
  add(sought, trevalon::usb::ReaderUsbIds::bootloader(trevalon::FirmwareImage::Generation::first));
  add(sought, trevalon::usb::ReaderUsbIds::bootloader(trevalon::FirmwareImage::Generation::second));
  for (const auto& id : KELVOCTL_USB_IDS) sought.emplace(id[0], id[1]);
  EXPECT_EQ(granted, sought);
}

}  // namespace
