// SPDX-License-Identifier: Apache-2.0
#pragma once
// Holds back, between the radio's native readers and the library's device provider, every reader that the reader
// driver serves. The provider builds a reader stack for each native reader it is given, and a stack talks to its
// reader as soon as the link is up; two hosts on one reader would desynchronise its link encryption's counter.
// A reader the driver takes over later is reported lost upwards (its stack goes); one the driver lets go is
// reported found again.

#include <map>
#include <memory>
#include <mutex>
#include <set>
#include <string>

#include "trevalon/ble/BLEReaderNative.h"
#include "trevalon/common/Master.h"
#include "trevalon/common/Provider.h"

class DriverServedFilter
    : public trevalon::Provider<std::shared_ptr<trevalon::ble::BLEReaderNative>>,
      public trevalon::common::Master<trevalon::Provider<std::shared_ptr<trevalon::ble::BLEReaderNative>>> {
 public:
  using Native = std::shared_ptr<trevalon::ble::BLEReaderNative>;

  void onFound(const Native& native) override;
  void onLost(const Native& native) override;

  // The driver's readers as 12 lower-case hexadecimal digits.
  void setHeldBack(const std::set<std::string>& addresses);
  static std::string addressKey(const std::string& address);

 private:
  bool isHeldBack(const Native& native) const;

  std::mutex lock;
  std::map<const void*, Native> present;
  std::set<const void*> passedOn;
  std::set<std::string> heldBack;
};
