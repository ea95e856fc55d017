// SPDX-License-Identifier: Apache-2.0
#pragma once
// An emulated Bridge dongle: the control messages of its USB side ([length][command][payload] in, the answers out)
// and a radio side made of the scenario's devices within its reach. It scans them (advertising reports with the
// name and, for Kelvo readers, the Kelvo service), connects to one (a reader it is not paired with asks for the
// pairing code first: status bit 0x0200 until the right code arrives), relays RPCs and indications to the reader
// it is connected to, keeps its name and paired list, and resets on command (the USB side takes it off the bus).

#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "kelvo/simulator/bridge/BridgeConfig.h"
#include "kelvo/simulator/bridge/BridgeReaderLink.h"
#include "trevalon/sim/EmulatedPeripheral.h"

namespace kelvo::simulator {

class BridgeEmulator {
 public:
  using Message = std::vector<uint8_t>;

  // `reach`: the scenario's devices by address; those named in the configuration's readers are within range.
  BridgeEmulator(BridgeConfig config, const std::vector<std::shared_ptr<trevalon::sim::EmulatedPeripheral>>& reach);

  // One message from the host; the Bridge's answers to it, in order (none for some commands).
  std::vector<Message> receive(const Message& message);
  // True once after a hard reset was asked for: the USB side takes the Bridge off the bus and back.
  bool takeReset();
  // A device within reach leaves or comes back into range; a connection to it ends.
  bool setInRange(const std::string& address, bool inRange);

  std::string serial() const { return settings.serial; }
  uint16_t vendor() const { return settings.vendor; }
  uint16_t product() const { return settings.product; }
  // What it is connected to, for tests: the reader's address or empty.
  std::string connectedAddress() const;

 private:
  std::vector<Message> search();
  Message select(const std::vector<uint8_t>& address);
  Message passkey(const std::vector<uint8_t>& code);
  Message status() const;
  Message pairedList() const;
  Message rpc(const std::vector<uint8_t>& request);
  Message indication(const std::vector<uint8_t>& bytes);
  void disconnectLocked();
  void connectLocked(const std::string& address);

  BridgeConfig settings;
  std::map<std::string, std::shared_ptr<trevalon::sim::EmulatedPeripheral>> devices;  // within reach, by address
  mutable std::mutex lock;
  std::string name;
  std::set<std::string> paired;
  std::set<std::string> inRange;
  std::optional<std::string> connected;
  std::optional<std::string> pairing;  // the reader waiting for its code
  std::shared_ptr<BridgeReaderLink> link;
  uint16_t connectionId = 0;
  bool resetAsked = false;
};

}  // namespace kelvo::simulator
