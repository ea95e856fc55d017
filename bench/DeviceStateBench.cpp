// SPDX-License-Identifier: Apache-2.0
// CPU time of one in-process GetDeviceState request on a complete reader stack (as the discovery chain builds
// it) over an emulated reader on the simulated radio: cold, the first request after the reader connected, when
// the reader cache is empty and the working-time ranges come over the air; warm, every later request, answered
// from the cache alone. Process CPU time, because the radio and the emulator run on threads of their own.

#include <benchmark/benchmark.h>

#include <condition_variable>
#include <cstdlib>
#include <filesystem>
#include <mutex>

#include "kelvo/simulator/kelvo/KelvoReaderEmulator.h"
#include "trevalon/Reader.h"
#include "trevalon/classic/DevicePipe.h"
#include "trevalon/local/Facade.h"
#include "trevalon/local/FileSettings.h"
#include "trevalon/local/LinuxMachine.h"
#include "trevalon/sim/BLEReaderSim.h"
#include "trevalon/sim/SimulatedRadio.h"

namespace {

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

// The stack keeps its key and serial as settings: a throw-away store for the run.
void useTemporarySettings() {
  static const bool done = [] {
    std::string pattern = (std::filesystem::temp_directory_path() / "kelvo-bench-XXXXXX").string();
    const std::string directory = ::mkdtemp(pattern.data());
    trevalon::local::Facade::instance().setSettings(std::make_shared<trevalon::local::FileSettings>(directory));
    trevalon::local::Facade::instance().setMachine(std::make_shared<trevalon::local::LinuxMachine>());
    return true;
  }();
  (void)done;
}

struct Bench {
  std::shared_ptr<trevalon::sim::SimulatedRadio> radio = trevalon::sim::SimulatedRadio::create();
  std::shared_ptr<kelvo::simulator::KelvoReaderEmulator> emulator;
  std::shared_ptr<trevalon::sim::BLEReaderSim> native;
  std::shared_ptr<trevalon::Device> device;
  std::shared_ptr<AvailabilityLatch> latch = std::make_shared<AvailabilityLatch>();

  Bench() {
    useTemporarySettings();
    kelvo::simulator::KelvoReaderConfig config;
    emulator = kelvo::simulator::KelvoReaderEmulator::create(config.withDefaults());
    radio->addPeripheral(emulator);
    radio->waitIdle();
    native = trevalon::sim::BLEReaderSim::create(radio, config.address, config.address, config.name);
    device = trevalon::Reader::create(native);
    device->addObserver(latch);
  }

  bool connect() {
    native->connect();
    return latch->waitAvailable();
  }
  // The link drops and comes back while the reader stays in range: every cache above is emptied.
  bool reconnect() {
    native->disconnect();
    return native->connect();
  }
};

void GetDeviceStateCold(benchmark::State& state) {
  Bench bench;
  if (!bench.connect()) {
    state.SkipWithError("reader not available");
    return;
  }
  bench.emulator->resetCounters();
  std::vector<uint8_t> record;
  size_t radioOperations = 0;
  for (auto _ : state) {
    state.PauseTiming();
    radioOperations += bench.emulator->counters().total();
    if (!bench.reconnect()) {
      state.SkipWithError("reader not connected again");
      break;
    }
    bench.emulator->resetCounters();
    state.ResumeTiming();
    benchmark::DoNotOptimize(trevalon::classic::DevicePipe::InvokeGetDeviceState(bench.device, record));
  }
  radioOperations += bench.emulator->counters().total();
  state.counters["radio_operations_per_call"] =
      static_cast<double>(radioOperations) / static_cast<double>(state.iterations());
}
BENCHMARK(GetDeviceStateCold)->MeasureProcessCPUTime()->Iterations(100)->Unit(benchmark::kMicrosecond);

void GetDeviceStateWarm(benchmark::State& state) {
  Bench bench;
  std::vector<uint8_t> record;
  if (!bench.connect() || trevalon::classic::DevicePipe::InvokeGetDeviceState(bench.device, record) != 0) {
    state.SkipWithError("reader not available");
    return;
  }
  bench.emulator->resetCounters();
  for (auto _ : state) {
    benchmark::DoNotOptimize(trevalon::classic::DevicePipe::InvokeGetDeviceState(bench.device, record));
  }
  state.counters["radio_operations"] = static_cast<double>(bench.emulator->counters().total());
}
BENCHMARK(GetDeviceStateWarm)->MeasureProcessCPUTime()->Unit(benchmark::kMicrosecond);

}  // namespace
