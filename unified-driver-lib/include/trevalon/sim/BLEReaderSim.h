// SPDX-License-Identifier: Apache-2.0
#pragma once
// The native reader of the simulated radio: one emulated peripheral seen through BLEReaderNative, with the
// same observable behaviour as a platform backend. The radio's owner keeps the radio alive; a reader holds it
// weakly, so that a reader released on one of the radio's own threads never takes the radio down there.

#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "trevalon/ble/BLEReaderNative.h"
#include "trevalon/common/Provider.h"
#include "trevalon/sim/GattProfile.h"
#include "trevalon/sim/LinkModel.h"

namespace trevalon::sim {

class SimulatedRadio;

class BLEReaderSim : public ble::BLEReaderNative, public ProviderObserver<std::string> {
 public:
  // Registered with the radio's connected-address provider before it is returned.
  static std::shared_ptr<BLEReaderSim> create(const std::shared_ptr<SimulatedRadio>& radio, std::string id,
                                              std::string address, std::string name);
  BLEReaderSim(const std::shared_ptr<SimulatedRadio>& radio, std::string id, std::string address, std::string name);
  ~BLEReaderSim() override;

  bool isAvailable() override;
  bool isConnected() override;
  bool isPaired() override;
  bool setPaired(bool paired) override;
  bool connect() override;
  bool unregisterCharacteristic(ble::Uuid service, ble::Uuid characteristic) override;
  void disconnect() override;
  std::string getAddress() override;
  std::string getId() override;
  std::string getName() override;
  bool hasService(ble::Uuid service, std::vector<ble::Uuid> characteristics) override;
  void readCharacteristic(ble::Uuid service, ble::Uuid characteristic) override;
  bool registerCharacteristic(ble::Uuid service, ble::Uuid characteristic) override;
  void writeCharacteristic(ble::Uuid service, ble::Uuid characteristic, std::vector<uint8_t> data) override;

  void onFound(const std::string& address) override;
  void onLost(const std::string& address) override;

  // From the radio's notification thread.
  void deliverNotification(const ble::Uuid& service, const ble::Uuid& characteristic, const std::vector<uint8_t>& data);

 private:
  using CharacteristicKey = std::pair<ble::Uuid, ble::Uuid>;

  std::optional<GattCharacteristic> findCharacteristic(const ble::Uuid& service, const ble::Uuid& characteristic);
  void waitForLink(SimulatedRadio& air, LinkModel::Operation operation, size_t valueBytes);
  void setAvailable(bool available);
  void dropSubscriptions(SimulatedRadio& from);

  std::shared_ptr<SimulatedRadio> liveRadio() const { return radio.lock(); }

  const std::weak_ptr<SimulatedRadio> radio;
  const std::string id;
  const std::string address;
  const std::string name;

  mutable std::mutex lock;
  std::optional<bool> available;
  // Present exactly while connected: the peer's services as they were when the connection was made.
  std::optional<std::map<ble::Uuid, GattService>> connection;
  std::set<CharacteristicKey> subscribed;
};

}  // namespace trevalon::sim
