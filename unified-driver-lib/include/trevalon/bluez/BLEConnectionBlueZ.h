// SPDX-License-Identifier: Apache-2.0
#pragma once
// Which Bluetooth LE peers BlueZ has linked right now, fed by the `Connected` property of its Device1 objects
// (and the devices linked already when it starts), on a thread named "MSG__PUMP" that runs the bus's event
// loop. It also carries the characteristics' value changes to the native readers that watch them, on a thread
// named "BLE_NOTIF". When bluetoothd goes away every peer is lost; when it comes back the set is read anew.
// Whoever creates it owns it: releasing the last copy of the pointer create() returned stops and joins the
// threads there, even if readers still hold it weakly.

#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "trevalon/ble/BLEConnection.h"

namespace sdbus {
class IConnection;
class Message;
}  // namespace sdbus

namespace trevalon::bluez {

class BlueZCaller;

class BLEConnectionBlueZ : public ble::BLEConnection {
 public:
  using ValueSink = std::function<void(std::vector<uint8_t>)>;

  // Null, after an error line, when the system bus cannot be reached.
  static std::shared_ptr<BLEConnectionBlueZ> create();
  ~BLEConnectionBlueZ() override;

  // Stops and joins both threads; events after it are dropped.
  void shutdown();

  // Value changes of the characteristic object at `path` go to `sink`, on the notification thread.
  void watchValue(const std::string& path, ValueSink sink);
  void unwatchValue(const std::string& path);

 private:
  BLEConnectionBlueZ(std::unique_ptr<sdbus::IConnection> linkBus, std::unique_ptr<sdbus::IConnection> valueBus,
                     std::shared_ptr<BlueZCaller> caller);
  void subscribe();
  void startThreads();

  void onDevicePropertiesChanged(sdbus::Message& message);
  void onInterfacesAdded(sdbus::Message& message);
  void onInterfacesRemoved(sdbus::Message& message);
  void onOwnerChanged(sdbus::Message& message);
  void onValueChanged(sdbus::Message& message);
  // Reads every device from BlueZ and brings the connected set in line with it.
  void resynchronise();
  void loseEveryPeer();
  std::string addressOf(const std::string& devicePath);

  std::unique_ptr<sdbus::IConnection> linkBus;
  std::unique_ptr<sdbus::IConnection> valueBus;
  std::shared_ptr<BlueZCaller> caller;
  std::thread linkPump;
  std::thread valuePump;
  std::mutex stateLock;
  bool running = false;
  std::map<std::string, std::string> addresses;  // device object path -> library address
  std::map<std::string, ValueSink> watchers;     // characteristic object path -> sink
};

}  // namespace trevalon::bluez
