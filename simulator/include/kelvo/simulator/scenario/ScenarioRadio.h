// SPDX-License-Identifier: Apache-2.0
#pragma once
// The simulated radio with a scenario's devices on it, as a radio programs reach readers through: registered as
// "sim", it is what KELVO_BLE_BACKEND=sim selects, with KELVO_SIM_SCENARIO naming the scenario file unless the
// program names one itself. When KELVO_SIM_CONTROL names a FIFO, control commands read from it move the scenario's
// devices while the program runs (tests take a reader off the air this way). When KELVO_USB_WORLD names the socket
// of scripts/with-usb, the readers show themselves on its emulated USB bus.

#include <memory>
#include <optional>
#include <string>

#include "kelvo/simulator/scenario/Scenario.h"
#include "trevalon/ble/Radio.h"
#include "trevalon/sim/RadioSim.h"
#include "trevalon/sim/SimulatedRadio.h"

namespace kelvo::simulator {

class ControlFifo;
class ScenarioControl;
class UsbWorldLink;

class ScenarioRadio : public trevalon::ble::Radio {
 public:
  // Makes "sim" known to trevalon::ble::Backend; a program calls it once before it builds its backend.
  static void registerAsSim();

  // Loads the scenario onto a new simulated radio; throws trevalon::ble::BackendError saying why it cannot.
  explicit ScenarioRadio(const std::string& scenarioPath);
  ~ScenarioRadio() override;
  ScenarioRadio(const ScenarioRadio&) = delete;
  ScenarioRadio& operator=(const ScenarioRadio&) = delete;

  std::shared_ptr<NativeSource> createNativeSource() override;
  std::shared_ptr<trevalon::ble::DeviceEnumeration> createEnumeration(const trevalon::ble::Uuid& service) override;

  // The scenario may change under a control FIFO.
  Scenario& scenario() { return *loaded; }
  const std::shared_ptr<trevalon::sim::SimulatedRadio>& air() const { return radio.air(); }
  // Runs control commands on the scenario.
  const std::shared_ptr<ScenarioControl>& control() const { return scenarioControl; }

 private:
  void openControlFifo(const std::string& path);
  void joinUsbWorld(const std::string& socketPath);

  trevalon::sim::RadioSim radio;
  std::optional<Scenario> loaded;
  std::shared_ptr<ScenarioControl> scenarioControl;
  std::unique_ptr<ControlFifo> controlFifo;
  std::shared_ptr<UsbWorldLink> usbLink;  // its answering thread ends before the readers go
};

}  // namespace kelvo::simulator
