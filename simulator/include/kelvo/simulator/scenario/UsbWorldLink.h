// SPDX-License-Identifier: Apache-2.0
#pragma once
// The emulated readers' side of the emulated USB bus that scripts/with-usb runs (it names its socket in
// KELVO_USB_WORLD). Each enrolled reader tells the bus, one JSON line per change, whether it is on the bus as the
// reader, as its bootloader or not at all; the bus answers with what a bootloader installed, and the reader comes
// back on the air with it. An emulated Bridge's messages travel the same way. docs/emulator.md has the lines.

#include <condition_variable>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

#include "kelvo/simulator/kelvo/KelvoReaderEmulator.h"
#include "kelvo/simulator/kelvo/KelvoReaderUsbPort.h"

namespace kelvo::simulator {

class UsbWorldLink : public KelvoReaderUsbPort, public std::enable_shared_from_this<UsbWorldLink> {
 public:
  // Connects to the bus's socket; throws std::runtime_error when it cannot.
  static std::shared_ptr<UsbWorldLink> connect(const std::string& socketPath);
  // The reader shows itself on the bus from now on. Its serial is what the bus's answers name it by.
  void enroll(const std::shared_ptr<KelvoReaderEmulator>& reader);
  void show(const std::string& serial, int generation, Presence presence) override;

  // A Bridge's USB side: its bulk OUT messages reach the handler on the link's thread, and what the handler gives
  // back goes out as bulk IN data, message by message. Returns once the bus has the Bridge (false when it did not
  // say so within 5 s).
  using BridgeHandler = std::function<std::vector<std::vector<uint8_t>>(const std::vector<uint8_t>& out)>;
  bool plugBridge(const std::string& serial, uint16_t vendor, uint16_t product, BridgeHandler handler);
  void unplugBridge(const std::string& serial);
  // Off the bus now and back after `afterMs` (a hard reset).
  void replugBridge(const std::string& serial, int afterMs);

  // Returns after the answering thread has ended.
  ~UsbWorldLink() override;
  UsbWorldLink(const UsbWorldLink&) = delete;
  UsbWorldLink& operator=(const UsbWorldLink&) = delete;

 private:
  explicit UsbWorldLink(int socketFd);
  void run();
  void answered(const std::string& line);
  void bridgeOut(const std::string& serial, const std::vector<uint8_t>& bytes);
  void send(const std::string& line);

  const int socketFd;
  int stopFds[2] = {-1, -1};
  std::mutex writeLock;
  std::mutex readersLock;
  std::map<std::string, std::weak_ptr<KelvoReaderEmulator>> readers;  // by serial
  std::map<std::string, BridgeHandler> bridges;                       // by serial
  std::condition_variable bridgePlugged;
  std::map<std::string, bool> plugged;  // by serial: the bus has said it has the Bridge
  std::thread answers;
};

}  // namespace kelvo::simulator
