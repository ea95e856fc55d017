#pragma once
// The emulated readers' side of the emulated USB bus that scripts/with-usb runs (it names its socket in
// KELVO_USB_WORLD). Each enrolled reader tells the bus, one JSON line per change, whether it is on the bus as the
// reader, as its bootloader or not at all; the bus answers with what a bootloader installed, and the reader comes
// back on the air with it. docs/emulator.md has the lines.

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

  // Returns after the answering thread has ended.
  ~UsbWorldLink() override;
  UsbWorldLink(const UsbWorldLink&) = delete;
  UsbWorldLink& operator=(const UsbWorldLink&) = delete;

 private:
  explicit UsbWorldLink(int socketFd);
  void run();
  void answered(const std::string& line);

  const int socketFd;
  int stopFds[2] = {-1, -1};
  std::mutex writeLock;
  std::mutex readersLock;
  std::map<std::string, std::weak_ptr<KelvoReaderEmulator>> readers;  // by serial
  std::thread answers;
};

}  // namespace kelvo::simulator
