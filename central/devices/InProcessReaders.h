// SPDX-License-Identifier: Apache-2.0
#pragma once
// The readers this process serves itself: the library's backend (BlueZ, or the simulated radio that
// KELVO_BLE_BACKEND=sim selects in development builds) polled for reader interfaces, and the library's device
// provider on top, which builds a reader stack for each. Without a usable radio the source is empty and says why.

#include <QSet>
#include <QString>
#include <memory>
#include <vector>

#include "trevalon/Device.h"
#include "trevalon/Reader.h"

class DriverServedFilter;

namespace trevalon::ble {
class Backend;
}

class InProcessReaders {
 public:
  static constexpr int kPollPeriodMs = 20000;

  // Makes the radios of this build known to the library (the simulated radio in development builds); start()
  // does it too, the application's start-up earlier, to check the environment before anything else.
  static void registerRadios();

  InProcessReaders();
  // Stops polling and lets every reader stack go before the radio.
  ~InProcessReaders();
  InProcessReaders(const InProcessReaders&) = delete;
  InProcessReaders& operator=(const InProcessReaders&) = delete;

  // Builds the chain and starts polling, holding back the readers the driver serves (lower-case addresses);
  // false with failure() set when no radio can be used.
  bool start(const QSet<QString>& driverAddresses);
  // The readers the driver serves now: their stacks go, and those the driver let go come back.
  void holdBack(const QSet<QString>& driverAddresses);
  const QString& failure() const { return failureText; }

  // The library devices found so far.
  std::vector<std::shared_ptr<trevalon::Device>> devices() const;

 private:
  std::unique_ptr<trevalon::ble::Backend> backend;
  std::shared_ptr<DriverServedFilter> filter;
  std::shared_ptr<trevalon::Reader::DeviceProvider> provider;
  QString failureText;
};
