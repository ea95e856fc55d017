// SPDX-License-Identifier: Apache-2.0
#pragma once
// Finds readers for the driver: the library's backend, polled on a thread of its own for every reader family's
// service (Kelvo readers for the application and pcscd, Pentaloq readers for pcscd), with the library's device
// provider on top. Unlike the application, the driver brings up the link of
// every reader found that is not linked, as the system does for a paired reader in range; a reader that leaves is
// reported lost, so that its socket goes.

#include <chrono>
#include <memory>

#include "trevalon/Reader.h"
#include "trevalon/ble/Backend.h"

namespace kelvo::driver {

class ReaderDiscovery {
 public:
  static constexpr std::chrono::milliseconds kDefaultPollPeriod = trevalon::ble::Backend::kDefaultPollPeriod;

  // What the driver asks of a backend: the services of the readers it serves, links brought up.
  static trevalon::ble::Backend::Options backendOptions();

  explicit ReaderDiscovery(std::unique_ptr<trevalon::ble::Backend> backend,
                           std::chrono::milliseconds pollPeriod = kDefaultPollPeriod);
  // Lets the devices go before the backend, which waits for their native readers.
  ~ReaderDiscovery();
  ReaderDiscovery(const ReaderDiscovery&) = delete;
  ReaderDiscovery& operator=(const ReaderDiscovery&) = delete;

  std::shared_ptr<trevalon::Reader::DeviceProvider> devices() const { return provider; }
  void start();
  // Returns after the polling thread has ended.
  void stop();
  // One poll on the caller's thread.
  void poll();

 private:
  std::unique_ptr<trevalon::ble::Backend> backend;
  std::shared_ptr<trevalon::Reader::DeviceProvider> provider;
  const std::chrono::milliseconds pollPeriod;
};

}  // namespace kelvo::driver
