// SPDX-License-Identifier: Apache-2.0
#include "EmulatedBlueZ.h"

#include <poll.h>
#include <sys/eventfd.h>
#include <unistd.h>

#include <future>
#include <thread>

#include "trevalon/common/Log.h"

namespace kelvo::kelvo_sim {
namespace {

const std::string kAdapter = "org.bluez.Adapter1";
// The bus is served between queued tasks; a wake-up makes a queued task run at once.
constexpr int kPollMs = 100;

}  // namespace

const std::string EmulatedBlueZ::kAdapterPath = "/org/bluez/hci0";

EmulatedBlueZ::EmulatedBlueZ(std::unique_ptr<sdbus::IConnection> bus, kelvo::simulator::Scenario scenario,
                             int gattDelayMs)
    : bus(std::move(bus)),
      scenario(std::move(scenario)),
      gattDelayMs(gattDelayMs),
      wakeFd(eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK)) {
  control = std::make_unique<kelvo::simulator::ScenarioControl>(
      this->scenario,
      [this](const std::shared_ptr<trevalon::sim::EmulatedPeripheral>& peripheral) { place(peripheral); },
      [this](const std::string& address) { withdraw(address); });
  root = sdbus::createObject(*this->bus, "/");
  root->addObjectManager();
  registerAdapter();
  registerControl();
  this->bus->requestName("org.bluez");
}

EmulatedBlueZ::~EmulatedBlueZ() {
  for (const auto& peripheral : scenario.peripherals()) peripheral->attach({});
  devices.clear();
  if (wakeFd >= 0) close(wakeFd);
}

void EmulatedBlueZ::registerAdapter() {
  adapter = sdbus::createObject(*bus, kAdapterPath);
  adapter->registerMethod("RemoveDevice").onInterface(kAdapter).implementedAs([this](const sdbus::ObjectPath& path) {
    removeDevice(path);
  });
  adapter->registerProperty("Address").onInterface(kAdapter).withGetter(
      [] { return std::string("00:1A:7D:00:00:01"); });
  adapter->registerProperty("Name").onInterface(kAdapter).withGetter([] { return std::string("kelvo-sim"); });
  adapter->registerProperty("Powered").onInterface(kAdapter).withGetter([] { return true; });
  adapter->finishRegistration();
}

void EmulatedBlueZ::registerControl() {
  controlObject = sdbus::createObject(*bus, "/org/kelvo/sim");
  // Answered later from the queue, like the other ways in: a command runs outside the bus's dispatch, so it may
  // add and remove bus objects, and the locks are always taken in one order.
  controlObject->registerMethod("Command")
      .onInterface("org.kelvo.Sim1")
      .implementedAs([this](sdbus::Result<std::string>&& result, const std::string& line) {
        auto pending = std::make_shared<sdbus::Result<std::string>>(std::move(result));
        command(line, [pending](const std::string& answer) { pending->returnResults(answer); });
      });
  controlObject->finishRegistration();
}

void EmulatedBlueZ::publish() {
  for (const auto& peripheral : scenario.peripherals()) place(peripheral);
}

void EmulatedBlueZ::place(const std::shared_ptr<trevalon::sim::EmulatedPeripheral>& peripheral) {
  const std::string address = peripheral->address();
  devices[address] = std::make_unique<EmulatedDeviceObject>(*bus, kAdapterPath, peripheral);
  peripheral->attach(weak_from_this());
}

void EmulatedBlueZ::withdraw(const std::string& address) {
  if (auto peripheral = scenario.peripheral(address)) peripheral->attach({});
  devices.erase(address);
}

void EmulatedBlueZ::removeDevice(const sdbus::ObjectPath& path) {
  for (auto& entry : devices) {
    if (entry.second->path() != path) continue;
    // The bond is gone; the reader, still advertising, is found again at once as a new device.
    std::shared_ptr<trevalon::sim::EmulatedPeripheral> peripheral = scenario.peripheral(entry.first);
    entry.second.reset();
    if (peripheral) entry.second = std::make_unique<EmulatedDeviceObject>(*bus, kAdapterPath, peripheral);
    return;
  }
  throw sdbus::Error("org.bluez.Error.DoesNotExist", "Does Not Exist");
}

void EmulatedBlueZ::command(const std::string& line, std::function<void(const std::string&)> answer) {
  post([this, line, answer = std::move(answer)] { answer(control->execute(line)); });
}

std::string EmulatedBlueZ::commandAndWait(const std::string& line) {
  auto answer = std::make_shared<std::promise<std::string>>();
  std::future<std::string> answered = answer->get_future();
  command(line, [answer](const std::string& text) { answer->set_value(text); });
  // A command queued as the bus thread ends is never run; its caller must not wait for it.
  while (answered.wait_for(std::chrono::milliseconds(100)) != std::future_status::ready) {
    std::lock_guard<std::mutex> guard(queueLock);
    if (stopping) return "error: kelvo-sim is ending";
  }
  return answered.get();
}

void EmulatedBlueZ::onNotification(const std::string& address, const trevalon::ble::Uuid& service,
                                   const trevalon::ble::Uuid& characteristic, std::vector<uint8_t> data) {
  post([this, address, service, characteristic, data = std::move(data)] {
    auto device = devices.find(address);
    if (device != devices.end()) device->second->notify(service, characteristic, data);
  });
}

void EmulatedBlueZ::onLinkChanged(const std::string& address, bool up) {
  post([this, address, up] {
    auto device = devices.find(address);
    if (device == devices.end()) return;
    device->second->setLinked(up);
    if (!up) return;
    if (gattDelayMs <= 0) {
      device->second->exportGatt();
    } else {
      postLater(gattDelayMs, [this, address] { exportGattOf(address); });
    }
  });
}

void EmulatedBlueZ::exportGattOf(const std::string& address) {
  auto device = devices.find(address);
  if (device != devices.end()) device->second->exportGatt();
}

void EmulatedBlueZ::postLater(int delayMs, std::function<void()> task) {
  std::weak_ptr<EmulatedBlueZ> self = weak_from_this();
  std::thread([self, delayMs, task = std::move(task)]() mutable {
    std::this_thread::sleep_for(std::chrono::milliseconds(delayMs));
    if (auto alive = self.lock()) alive->post(std::move(task));
  }).detach();
}

void EmulatedBlueZ::post(std::function<void()> task) {
  {
    std::lock_guard<std::mutex> guard(queueLock);
    queue.push_back(std::move(task));
  }
  const uint64_t one = 1;
  if (write(wakeFd, &one, sizeof one) < 0) TREVALON_LOG(warning, "cannot wake the bus thread");
}

void EmulatedBlueZ::stop() {
  {
    std::lock_guard<std::mutex> guard(queueLock);
    stopping = true;
  }
  const uint64_t one = 1;
  if (write(wakeFd, &one, sizeof one) < 0) TREVALON_LOG(warning, "cannot wake the bus thread");
}

void EmulatedBlueZ::runQueued() {
  for (;;) {
    std::function<void()> task;
    {
      std::lock_guard<std::mutex> guard(queueLock);
      if (queue.empty()) return;
      task = std::move(queue.front());
      queue.pop_front();
    }
    try {
      task();
    } catch (const std::exception& failure) {
      TREVALON_LOG(error, "kelvo-sim: %s", failure.what());
    }
  }
}

void EmulatedBlueZ::run() {
  for (;;) {
    while (bus->processPendingRequest()) {
      runQueued();
    }
    runQueued();
    {
      std::lock_guard<std::mutex> guard(queueLock);
      if (stopping) return;
    }
    sdbus::IConnection::PollData data = bus->getEventLoopPollData();
    pollfd watched[2] = {{data.fd, data.events, 0}, {wakeFd, POLLIN, 0}};
    poll(watched, 2, kPollMs);
    uint64_t count = 0;
    if (watched[1].revents != 0 && read(wakeFd, &count, sizeof count) < 0) count = 0;
  }
}

}  // namespace kelvo::kelvo_sim
