// SPDX-License-Identifier: Apache-2.0
#pragma once
// Where a program's readers come from: one radio (BlueZ, or a radio the program registered, chosen by
// KELVO_BLE_BACKEND) and the bottom of the discovery chain on it, polled for the reader services. Each poll reports
// the readers found and, as lost, those no longer seen; with `bringUpLinks` it also brings up the link of every
// reader found that is not linked, as the system does for a paired reader in range.
//
// A device provider (trevalon::Reader::createDeviceProvider) takes natives() as its master. Release every
// provider built on natives() before the backend: the destructor waits a little for the native readers to go,
// then lets the radio go.

#include <chrono>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "trevalon/ble/Radio.h"
#include "trevalon/ble/ReaderServiceUuids.h"
#include "trevalon/ble/Uuid.h"

namespace trevalon::ble {

class Backend {
 public:
  using NativeSource = Radio::NativeSource;
  static constexpr std::chrono::milliseconds kDefaultPollPeriod{1000};

  struct Options {
    std::vector<Uuid> services = allReaderServices();
    bool bringUpLinks = false;
  };

  // The radio KELVO_BLE_BACKEND names ("bluez" when unset). Throws BackendError with a message for the user.
  static std::unique_ptr<Backend> fromEnvironment(Options options);
  static std::unique_ptr<Backend> fromEnvironment() { return fromEnvironment(Options()); }
  // The radio of that name; an empty argument is taken from the radio's environment variable. Throws BackendError.
  static std::unique_ptr<Backend> create(const std::string& radioName, const std::string& argument, Options options);
  // Checks what fromEnvironment would check before it builds anything: that KELVO_BLE_BACKEND names a radio of this
  // build and that the radio's argument is given. Throws BackendError.
  static void checkEnvironment();

  Backend(std::unique_ptr<Radio> radio, Options options);
  ~Backend();
  Backend(const Backend&) = delete;
  Backend& operator=(const Backend&) = delete;

  std::shared_ptr<NativeSource> natives() const { return nativeSource; }
  Radio& radio() const { return *air; }

  // Polls every `period` on a thread of its own; stop() returns once it has ended.
  void start(std::chrono::milliseconds period = kDefaultPollPeriod);
  void stop();
  // One poll on the caller's thread (short-lived tools need no more); one poll runs at a time, whoever calls it.
  void poll();

 private:
  void run(std::chrono::milliseconds period);
  void bringUpLinks();
  void waitForNativeReaders();

  std::unique_ptr<Radio> air;
  const Options options;
  std::shared_ptr<NativeSource> nativeSource;
  std::vector<std::shared_ptr<DeviceEnumeration>> enumerations;

  std::mutex pollLock;
  std::mutex runLock;
  std::condition_variable wake;
  bool running = false;
  std::thread poller;
};

}  // namespace trevalon::ble
