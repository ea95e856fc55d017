// SPDX-License-Identifier: Apache-2.0
#pragma once
// kelvo-sim's side of the bus: owns the name org.bluez, an ObjectManager at "/", the adapter /org/bluez/hci0,
// one EmulatedDeviceObject per device of the scenario and its own control object /org/kelvo/sim (interface
// org.kelvo.Sim1, method Command(s line) -> s answer), and runs the bus on one thread. Everything that
// touches the bus or the emulators happens on that thread: the emulators' events and the control commands are
// queued to it, so the emulated BlueZ is as single-threaded as bluetoothd.

#include <condition_variable>
#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <string>

#include <sdbus-c++/sdbus-c++.h>

#include "EmulatedDeviceObject.h"
#include "kelvo/simulator/scenario/Scenario.h"
#include "kelvo/simulator/scenario/ScenarioControl.h"
#include "trevalon/sim/PeripheralListener.h"

namespace kelvo::kelvo_sim {

class EmulatedBlueZ : public trevalon::sim::PeripheralListener, public std::enable_shared_from_this<EmulatedBlueZ> {
 public:
  static const std::string kAdapterPath;

  // Takes the name org.bluez on `bus`; throws sdbus::Error when the name is taken.
  // `gattDelayMs`: how long after a link comes up the GATT objects are exported, as BlueZ may export them
  // after reporting the services resolved.
  EmulatedBlueZ(std::unique_ptr<sdbus::IConnection> bus, kelvo::simulator::Scenario scenario, int gattDelayMs = 0);
  ~EmulatedBlueZ() override;

  // Publishes the scenario's devices; call once, before run().
  void publish();
  // Serves the bus until stop().
  void run();
  // From any thread.
  void stop();
  // From any thread: the command runs on the bus thread; its answer goes to `answer` there.
  void command(const std::string& line, std::function<void(const std::string&)> answer);
  // From any thread but the bus thread: runs the command there and returns its answer.
  std::string commandAndWait(const std::string& line);

  void onNotification(const std::string& address, const trevalon::ble::Uuid& service,
                      const trevalon::ble::Uuid& characteristic, std::vector<uint8_t> data) override;
  void onLinkChanged(const std::string& address, bool up) override;

 private:
  void post(std::function<void()> task);
  void postLater(int delayMs, std::function<void()> task);
  void exportGattOf(const std::string& address);
  void runQueued();
  void registerAdapter();
  void registerControl();
  void place(const std::shared_ptr<trevalon::sim::EmulatedPeripheral>& peripheral);
  void withdraw(const std::string& address);
  void removeDevice(const sdbus::ObjectPath& path);

  std::unique_ptr<sdbus::IConnection> bus;
  kelvo::simulator::Scenario scenario;
  std::unique_ptr<kelvo::simulator::ScenarioControl> control;
  std::unique_ptr<sdbus::IObject> root;
  std::unique_ptr<sdbus::IObject> adapter;
  std::unique_ptr<sdbus::IObject> controlObject;
  std::map<std::string, std::unique_ptr<EmulatedDeviceObject>> devices;  // by library address

  std::mutex queueLock;
  std::deque<std::function<void()>> queue;
  bool stopping = false;
  const int gattDelayMs;
  int wakeFd = -1;
};

}  // namespace kelvo::kelvo_sim
