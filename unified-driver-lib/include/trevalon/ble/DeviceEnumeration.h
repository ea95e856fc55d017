// SPDX-License-Identifier: Apache-2.0
#pragma once
// The bottom of a discovery chain for one reader service: each poll reports every device that offers the service.
// A poll with losses also reports, as lost, each device an earlier poll found that this one no longer sees, so
// that the chain above can let a reader that left go (the driver removes its socket, the application its view).

#include <mutex>
#include <set>
#include <string>

#include "trevalon/ble/ProvidedDevice.h"
#include "trevalon/common/ProviderRunnable.h"

namespace trevalon::ble {

class DeviceEnumeration : public common::ProviderRunnable<ProvidedDevice> {
 public:
  // One enumeration on the caller's thread. Callers poll one enumeration from one thread at a time.
  void pollWithLosses();

  void onFound(const ProvidedDevice& item) override;

 protected:
  // The radio could not be asked during this poll (bluetoothd is not on the bus): nobody is reported lost, since
  // the readers' state is unknown, not gone.
  void markPollFailed();

 private:
  std::mutex seenLock;
  bool pollFailed = false;
  // Object paths reported by the poll under way.
  std::set<std::string> seen;
};

}  // namespace trevalon::ble
