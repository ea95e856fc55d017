// SPDX-License-Identifier: Apache-2.0
// CPU per encrypted RPC (GetDeviceState [0x0d] sent past the reader cache, through the link encryption) on a
// complete reader stack: once over the in-process simulated radio, once over the BlueZ backend against kelvo-sim
// on a private bus. For the bus, the CPU of kelvo-sim (the emulated bluetoothd with its reader) and of the bus
// daemon per RPC are reported beside the program's own, since there the work is spread over three processes.

#include <benchmark/benchmark.h>

#include <condition_variable>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <mutex>
#include <sstream>

#include "KelvoSimProcess.h"
#include "PrivateBus.h"
#include "kelvo/simulator/scenario/ScenarioRadio.h"
#include "trevalon/Reader.h"
#include "trevalon/ble/Backend.h"
#include "trevalon/classic/DevicePipe.h"
#include "trevalon/local/Facade.h"
#include "trevalon/local/FileSettings.h"
#include "trevalon/local/LinuxMachine.h"

namespace {

const char* const kScenario = R"({ "devices": [
  { "family": "kelvo", "address": "001a7dda7113", "name": "Kelvo 5123456789", "generation": 2 } ] })";
const char* const kAddress = "001a7dda7113";

class AvailabilityLatch : public trevalon::DeviceObserver {
 public:
  void onAvailableChanged(bool value) override {
    std::lock_guard<std::mutex> guard(lock);
    available = value;
    changed.notify_all();
  }
  bool waitAvailable() {
    std::unique_lock<std::mutex> guard(lock);
    return changed.wait_for(guard, std::chrono::seconds(10), [&] { return available; });
  }
  void onBatteryLevelChanged(uint8_t) override {}
  void onUsbCableStatusChanged(uint8_t) override {}
  void onEncryptionChanged(uint8_t) override {}
  void onAdvertisingModeChanged(uint8_t) override {}
  void onBuzzerModeChanged(uint8_t) override {}
  void onSignalStrengthChanged(uint8_t) override {}
  void onBackLightChanged(uint8_t) override {}
  void onDisplayModeChanged(uint8_t) override {}
  void onRssiMinValueChanged(uint8_t) override {}
  void onConnectedChanged(bool) override {}
  void onPairedChanged(bool) override {}
  std::vector<uint8_t> onKeyRequested() override { throw std::runtime_error("no key"); }
  void onEvent(uint32_t) override {}

 private:
  std::mutex lock;
  std::condition_variable changed;
  bool available = false;
};

std::string temporaryDirectory() {
  std::string pattern = (std::filesystem::temp_directory_path() / "kelvo-bench-XXXXXX").string();
  return ::mkdtemp(pattern.data());
}

// User and system CPU time of a process, in microseconds.
double cpuMicroseconds(pid_t pid) {
  std::ifstream file("/proc/" + std::to_string(pid) + "/stat");
  std::string text((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
  const size_t end = text.rfind(')');
  if (end == std::string::npos) return 0;
  std::istringstream fields(text.substr(end + 2));
  std::string field;
  double ticks = 0;
  for (int index = 3; fields >> field && index <= 15; ++index) {
    if (index == 14 || index == 15) ticks += std::stod(field);
  }
  return ticks * 1e6 / static_cast<double>(sysconf(_SC_CLK_TCK));
}

// One reader's stack over a backend, available and ready for RPCs.
struct Stack {
  std::string directory = temporaryDirectory();
  std::unique_ptr<trevalon::ble::Backend> backend;
  std::shared_ptr<trevalon::Reader::DeviceProvider> devices;
  std::shared_ptr<trevalon::Device> device;

  Stack() {
    trevalon::local::Facade::instance().setSettings(std::make_shared<trevalon::local::FileSettings>(directory));
    trevalon::local::Facade::instance().setMachine(std::make_shared<trevalon::local::LinuxMachine>());
    std::ofstream(directory + "/scenario.json") << kScenario;
  }
  ~Stack() {
    device.reset();
    devices.reset();
    backend.reset();
    trevalon::local::Facade::instance().setSettings(nullptr);
    std::error_code ignored;
    std::filesystem::remove_all(directory, ignored);
  }

  bool build(std::unique_ptr<trevalon::ble::Backend> chosen) {
    backend = std::move(chosen);
    devices = trevalon::Reader::createDeviceProvider();
    devices->setMaster(backend->natives());
    backend->poll();
    for (const auto& candidate : devices->getProvided()) {
      if (candidate->getAddress() == kAddress) device = candidate;
    }
    if (!device) return false;
    auto latch = std::make_shared<AvailabilityLatch>();
    device->addObserver(latch);
    for (const auto& native : backend->natives()->getProvided()) native->connect();
    return device->isAvailable() || latch->waitAvailable();
  }

  bool rpc() {
    std::vector<uint8_t> response;
    return trevalon::classic::DevicePipe::InvokeTransmitRpc(device, {13}, response) == 0 && !response.empty() &&
           response[0] == 0;
  }
};

void EncryptedRpcSimulatedRadio(benchmark::State& state) {
  kelvo::simulator::ScenarioRadio::registerAsSim();
  Stack stack;
  if (!stack.build(trevalon::ble::Backend::create("sim", stack.directory + "/scenario.json", {})) || !stack.rpc()) {
    state.SkipWithError("reader not available");
    return;
  }
  for (auto _ : state) {
    if (!stack.rpc()) {
      state.SkipWithError("RPC failed");
      break;
    }
  }
}
BENCHMARK(EncryptedRpcSimulatedRadio)->MeasureProcessCPUTime()->Unit(benchmark::kMicrosecond);

void EncryptedRpcBlueZ(benchmark::State& state) {
  kelvo::kelvo_sim::PrivateBus bus;
  setenv("DBUS_SYSTEM_BUS_ADDRESS", bus.address().c_str(), 1);
  {
    Stack stack;
    kelvo::test::KelvoSimProcess sim(KELVO_SIM_PROGRAM, stack.directory + "/scenario.json");
    if (!sim.start() || !stack.build(trevalon::ble::Backend::create("bluez", "", {})) || !stack.rpc()) {
      state.SkipWithError("reader not available over the bus");
    } else {
      const double simStart = cpuMicroseconds(sim.pid());
      const double busStart = cpuMicroseconds(bus.pid());
      for (auto _ : state) {
        if (!stack.rpc()) {
          state.SkipWithError("RPC failed");
          break;
        }
      }
      const double rpcs = static_cast<double>(state.iterations());
      state.counters["kelvo_sim_cpu_us"] = (cpuMicroseconds(sim.pid()) - simStart) / rpcs;
      state.counters["dbus_daemon_cpu_us"] = (cpuMicroseconds(bus.pid()) - busStart) / rpcs;
    }
  }
  unsetenv("DBUS_SYSTEM_BUS_ADDRESS");
}
BENCHMARK(EncryptedRpcBlueZ)->MeasureProcessCPUTime()->Unit(benchmark::kMicrosecond);

}  // namespace
