// SPDX-License-Identifier: Apache-2.0
#include "kelvo/simulator/scenario/ScenarioRadio.h"

#include <cstdlib>

#include "kelvo/simulator/scenario/ControlFifo.h"
#include "kelvo/simulator/scenario/ScenarioControl.h"
#include "kelvo/simulator/scenario/UsbWorldLink.h"
#include "trevalon/ble/BackendError.h"
#include "trevalon/ble/RadioRegistry.h"
#include "trevalon/common/Log.h"

namespace kelvo::simulator {

void ScenarioRadio::registerAsSim() {
  trevalon::ble::RadioRegistry::instance().add(
      "sim",
      {"KELVO_SIM_SCENARIO", "a scenario file", [](const std::string& path) -> std::unique_ptr<trevalon::ble::Radio> {
         return std::make_unique<ScenarioRadio>(path);
       }});
}

ScenarioRadio::ScenarioRadio(const std::string& scenarioPath) : radio(trevalon::sim::SimulatedRadio::create()) {
  try {
    loaded = Scenario::fromFile(radio.air(), scenarioPath);
  } catch (const std::exception& error) {
    throw trevalon::ble::BackendError("cannot use scenario " + scenarioPath + ": " + error.what());
  }
  radio.air()->waitIdle();
  if (const char* usbWorld = std::getenv("KELVO_USB_WORLD"); usbWorld && *usbWorld) joinUsbWorld(usbWorld);
  std::weak_ptr<trevalon::sim::SimulatedRadio> weakAir = radio.air();
  std::weak_ptr<UsbWorldLink> weakUsb = usbLink;
  scenarioControl = std::make_shared<ScenarioControl>(
      *loaded,
      [weakAir, weakUsb](const std::shared_ptr<trevalon::sim::EmulatedPeripheral>& peripheral) {
        auto reader = std::dynamic_pointer_cast<KelvoReaderEmulator>(peripheral);
        if (auto usb = weakUsb.lock(); usb && reader) usb->enroll(reader);
        if (auto live = weakAir.lock()) live->addPeripheral(peripheral);
      },
      [weakAir](const std::string& address) {
        if (auto live = weakAir.lock()) live->removePeripheral(address);
      });
  if (const char* fifo = std::getenv("KELVO_SIM_CONTROL"); fifo && *fifo) openControlFifo(fifo);
}

// The scenario's readers show themselves on the emulated USB bus of scripts/with-usb.
void ScenarioRadio::joinUsbWorld(const std::string& socketPath) {
  try {
    usbLink = UsbWorldLink::connect(socketPath);
  } catch (const std::exception& error) {
    throw trevalon::ble::BackendError(error.what());
  }
  for (const std::shared_ptr<KelvoReaderEmulator>& reader : loaded->readers()) usbLink->enroll(reader);
}

void ScenarioRadio::openControlFifo(const std::string& path) {
  try {
    controlFifo = std::make_unique<ControlFifo>(path, scenarioControl);
  } catch (const std::exception& error) {
    throw trevalon::ble::BackendError("cannot use the control FIFO " + path + ": " + error.what());
  }
  TREVALON_LOG(info, "control commands are read from %s", path.c_str());
}

// The FIFO's thread goes first, so no command runs on a scenario being torn down.
ScenarioRadio::~ScenarioRadio() {
  controlFifo.reset();
  usbLink.reset();
  scenarioControl.reset();
  loaded.reset();
}

std::shared_ptr<ScenarioRadio::NativeSource> ScenarioRadio::createNativeSource() { return radio.createNativeSource(); }

std::shared_ptr<trevalon::ble::DeviceEnumeration> ScenarioRadio::createEnumeration(const trevalon::ble::Uuid& service) {
  return radio.createEnumeration(service);
}

}  // namespace kelvo::simulator
