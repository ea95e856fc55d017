// SPDX-License-Identifier: Apache-2.0
#pragma once
// The native reader on BlueZ: one org.bluez Device1 object and its GATT objects, seen through
// BLEReaderNative. Connecting asks BlueZ to link the device and waits until its services are resolved and
// their objects exported; reads and writes are ReadValue and WriteValue (type "request"); notifications are
// StartNotify with the characteristics' Value changes, set up again on every new connection. Unlike a
// platform read limited to 24 bytes, a read delivers the whole value BlueZ returns.
//
// A link that BlueZ reports down makes the reader unavailable; the connection stays this program's, and the
// next operation links the device again and subscribes again to what was subscribed, without a connection
// change for the layers above (as a platform that restores a link by itself). disconnect() ends this
// program's GATT sessions but leaves the link to BlueZ. Every call to BlueZ has a time-out.

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

namespace trevalon::bluez {

class BLEConnectionBlueZ;
class BlueZCaller;

class BLEReaderBlueZ : public ble::BLEReaderNative, public ProviderObserver<std::string> {
 public:
  // Registered with the connection watcher before it is returned. `path` is the Device1 object's path.
  static std::shared_ptr<BLEReaderBlueZ> create(const std::shared_ptr<BLEConnectionBlueZ>& watcher, std::string id,
                                                std::string address, std::string name, std::string path);
  BLEReaderBlueZ(const std::shared_ptr<BLEConnectionBlueZ>& watcher, std::shared_ptr<BlueZCaller> caller,
                 std::string id, std::string address, std::string name, std::string path);
  ~BLEReaderBlueZ() override;

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

  // BlueZ removed the device: if it comes back, under the same path, it is a new reader. This one hears of no
  // link any more and refuses every further connection, so that two stacks never share one device.
  void retire();

 private:
  using CharacteristicKey = std::pair<ble::Uuid, ble::Uuid>;

  struct Characteristic {
    std::string path;
    std::set<std::string> flags;  // BlueZ's Flags: "read", "write", "notify", ...
  };
  struct Service {
    std::string path;
    std::map<ble::Uuid, Characteristic> characteristics;
  };
  using Services = std::map<ble::Uuid, Service>;

  bool linkDevice();
  // The device's services once BlueZ has resolved and exported them; nothing when it does not in time.
  std::optional<Services> resolvedServices();
  void resubscribe();
  bool startNotify(const CharacteristicKey& key, const std::string& path);
  void stopNotify(const std::string& path);
  std::optional<Characteristic> findCharacteristic(const ble::Uuid& service, const ble::Uuid& characteristic);
  void deliverNotification(const ble::Uuid& service, const ble::Uuid& characteristic, const std::vector<uint8_t>& data);
  void setAvailable(bool available);
  // The link went down: the subscriptions are gone with it, and the next connect() links again.
  void markLinkLost();

  const std::weak_ptr<BLEConnectionBlueZ> watcher;
  const std::shared_ptr<BlueZCaller> caller;
  const std::string id;
  const std::string address;
  const std::string name;
  const std::string path;

  std::mutex connectLock;  // one connection attempt at a time
  mutable std::mutex lock;
  std::optional<bool> available;
  // Present exactly while connected: the services as they were when the connection was made.
  std::optional<Services> connection;
  bool linkLost = false;
  bool retired = false;
  std::map<CharacteristicKey, std::string> notifying;  // subscribed on this connection -> object path
  std::set<CharacteristicKey> wanted;                  // subscriptions to set up again on the next connection
};

}  // namespace trevalon::bluez
