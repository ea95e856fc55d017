// SPDX-License-Identifier: Apache-2.0
#pragma once
// The Bridge's own link to the reader it is connected to: the host's side of the reader's packet transfer, kept as
// small as the Bridge needs. A request goes whole to 'transmit' with its length in front; the answer comes back as
// numbered packages on 'output2', package 0 opening with the answer's size. The Bridge's pairing is the security of
// this link, so the reader serves the plain requests the Bridge relays (its accept-plain quirk is switched on).

#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "kelvo/simulator/kelvo/KelvoReaderEmulator.h"
#include "trevalon/sim/PeripheralListener.h"

namespace kelvo::simulator {

class BridgeReaderLink : public trevalon::sim::PeripheralListener,
                         public std::enable_shared_from_this<BridgeReaderLink> {
 public:
  // Attaches to the reader and subscribes to its answers; null when the reader does not let it.
  static std::shared_ptr<BridgeReaderLink> open(const std::shared_ptr<KelvoReaderEmulator>& reader);
  // Takes the link off the reader.
  void close();

  // The reader's RPC response, or {0x81} when the transfer failed, as the reader library reports one.
  std::vector<uint8_t> transmit(const std::vector<uint8_t>& request);
  // Writes [indication, param1, param2, ...] to the command characteristic.
  bool indicate(const std::vector<uint8_t>& bytes);

  void onNotification(const std::string& address, const trevalon::ble::Uuid& service,
                      const trevalon::ble::Uuid& characteristic, std::vector<uint8_t> data) override;
  void onLinkChanged(const std::string& address, bool up) override;

  explicit BridgeReaderLink(std::shared_ptr<KelvoReaderEmulator> reader);

 private:
  std::vector<uint8_t> assembled();

  const std::shared_ptr<KelvoReaderEmulator> reader;
  const trevalon::ble::Uuid service;
  std::mutex lock;
  std::map<uint8_t, std::vector<uint8_t>> packages;  // by index, for the request in flight
};

}  // namespace kelvo::simulator
