// SPDX-License-Identifier: Apache-2.0
#pragma once
// The in-process radio: emulated peripherals attach to it, native readers reach them through it. It turns
// the peripherals' link changes into the connected-address provider's events (on a thread named
// "MSG__PUMP") and routes their notifications to the readers that subscribed (on a thread named "BLE_NOTIF").
// Whoever creates the radio owns it: when the last copy of the pointer create() returned is released, the
// two threads are stopped and joined there, even if readers or peripherals still refer to the radio (they
// hold it through its inner pointer only, and from then on its events go nowhere).

#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <tuple>
#include <vector>

#include "trevalon/ble/BLEConnection.h"
#include "trevalon/ble/Uuid.h"
#include "trevalon/sim/EmulatedPeripheral.h"
#include "trevalon/sim/LinkModel.h"
#include "trevalon/sim/PeripheralListener.h"

namespace trevalon::sim {

class BLEReaderSim;
class EventThread;

class SimulatedRadio : public PeripheralListener, public std::enable_shared_from_this<SimulatedRadio> {
 public:
  static std::shared_ptr<SimulatedRadio> create();
  ~SimulatedRadio() override;

  // Stops and joins both threads; events after it are dropped. Runs when the owners let go.
  void shutdown();

  // A peripheral whose link is up when it is added is reported connected at once.
  void addPeripheral(const std::shared_ptr<EmulatedPeripheral>& peripheral);
  // The peripheral leaves the air: a live link is reported down.
  void removePeripheral(const std::string& address);
  std::vector<std::shared_ptr<EmulatedPeripheral>> getPeripherals() const;
  std::shared_ptr<EmulatedPeripheral> findPeripheral(const std::string& address) const;

  std::shared_ptr<ble::BLEConnection> getConnection() const { return connection; }

  // Readers subscribe for the notifications of one characteristic of their peer.
  void subscribe(const std::string& address, const ble::Uuid& service, const ble::Uuid& characteristic,
                 const std::shared_ptr<BLEReaderSim>& reader);
  void unsubscribe(const std::string& address, const ble::Uuid& service, const ble::Uuid& characteristic,
                   const BLEReaderSim* reader);

  // From now on each peer's link keeps to the model, on a schedule of its own; nothing turns link timing off
  // (the default: every operation is done at once).
  void setLinkModel(const std::optional<LinkModel::Parameters>& parameters);
  // The link's schedule; null while link timing is off.
  std::shared_ptr<LinkModel> linkModel(const std::string& address);

  // Returns when every event queued so far (and what it caused on the radio) has been delivered.
  void waitIdle();

  void onNotification(const std::string& address, const ble::Uuid& service, const ble::Uuid& characteristic,
                      std::vector<uint8_t> data) override;
  void onLinkChanged(const std::string& address, bool up) override;

 private:
  SimulatedRadio();

  using SubscriptionKey = std::tuple<std::string, ble::Uuid, ble::Uuid>;

  std::shared_ptr<ble::BLEConnection> connection = std::make_shared<ble::BLEConnection>();
  std::map<std::string, std::shared_ptr<EmulatedPeripheral>> peripherals;
  std::map<SubscriptionKey, std::vector<std::weak_ptr<BLEReaderSim>>> subscriptions;
  std::optional<LinkModel::Parameters> linkParameters;
  std::map<std::string, std::shared_ptr<LinkModel>> links;
  mutable std::mutex lock;
  std::unique_ptr<EventThread> notificationThread;
  std::unique_ptr<EventThread> linkThread;
};

}  // namespace trevalon::sim
