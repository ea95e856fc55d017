// SPDX-License-Identifier: Apache-2.0
// Round trips per second and CPU time per request through the synchronous reader, the characteristics and the
// packet transfer, against an emulated reader on the simulated radio (no link latency): plain for a small
// request answered in one package and for a 2000-byte request; and the small request through the link
// encryption, with a session (AES-CCM) and with the long-term key only (AES-ECB). And an over-the-air write of a
// 256 KiB image on a radio with link timing: the stack's time as a ratio to what the link alone needs for the same
// operations, measured in the same run (the target: at most 1.05), and the CPU time per KiB.

#include <benchmark/benchmark.h>

#include <condition_variable>
#include <ctime>
#include <mutex>
#include <optional>

#include "kelvo/simulator/kelvo/KelvoReaderEmulator.h"
#include "kelvo/simulator/kelvo/SignedFirmwareImage.h"
#include "trevalon/ble/BLEReaderBLEReaderNativeTranslator.h"
#include "trevalon/firmware/OverTheAirWriter.h"
#include "trevalon/kelvo/KelvoBLECharacteristscsBLEReaderTranslator.h"
#include "trevalon/kelvo/KelvoBLEReaderCryptoProxy.h"
#include "trevalon/kelvo/KelvoBLEReaderKelvoBLECharacteristscsTranslator.h"
#include "trevalon/local/Facade.h"
#include "trevalon/local/FileSettings.h"
#include "trevalon/local/LinuxMachine.h"
#include "trevalon/sim/BLEReaderSim.h"
#include "trevalon/sim/SimulatedRadio.h"

#include <cstdlib>
#include <filesystem>

namespace {

namespace ble = trevalon::ble;
namespace common = trevalon::common;
namespace sim = trevalon::sim;
namespace protocol = trevalon::kelvo;
namespace emulated = kelvo::simulator;

class AvailabilityLatch : public protocol::KelvoBLEReaderObserver {
 public:
  void onActiveEncryptionChanged(uint8_t) override {}
  void onConnectedChanged(bool) override {}
  void onAvailableChanged(bool value) override {
    std::lock_guard<std::mutex> guard(lock);
    available = value;
    changed.notify_all();
  }
  void onPairedChanged(bool) override {}
  void notified(uint8_t, std::vector<uint8_t>) override {}
  void onEvent(uint32_t) override {}
  bool wait() {
    std::unique_lock<std::mutex> guard(lock);
    return changed.wait_for(guard, std::chrono::seconds(10), [this] { return available; });
  }

 private:
  std::mutex lock;
  std::condition_variable changed;
  bool available = false;
};

enum class Link { plain, session, longTermOnly };

// The encryption stores its key as a private setting: a throw-away store for the run.
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
  std::shared_ptr<sim::SimulatedRadio> radio = sim::SimulatedRadio::create();
  std::shared_ptr<emulated::KelvoReaderEmulator> emulator;
  std::shared_ptr<protocol::KelvoBLEReaderKelvoBLECharacteristscsTranslator> packets;
  std::shared_ptr<protocol::KelvoBLEReader> top;
  std::shared_ptr<AvailabilityLatch> latch = std::make_shared<AvailabilityLatch>();

  explicit Bench(Link link = Link::plain, const std::optional<sim::LinkModel::Parameters>& timing = std::nullopt) {
    useTemporarySettings();
    radio->setLinkModel(timing);
    emulated::KelvoReaderConfig config;
    if (link == Link::plain) config.settings[7] = 0;
    if (link == Link::longTermOnly) config.quirks = {emulated::KelvoReaderQuirk::noSessionKey};
    emulator = emulated::KelvoReaderEmulator::create(config.withDefaults());
    radio->addPeripheral(emulator);
    radio->waitIdle();
    auto native = sim::BLEReaderSim::create(radio, config.address, config.address, config.name);
    auto ble = common::createTranslator<ble::BLEReaderBLEReaderNativeTranslator>(
        std::shared_ptr<ble::BLEReaderNative>(native));
    auto characteristics = common::createTranslator<protocol::KelvoBLECharacteristscsBLEReaderTranslator>(ble);
    packets = std::make_shared<protocol::KelvoBLEReaderKelvoBLECharacteristscsTranslator>();
    packets->setMaster(characteristics);
    top = packets;
    if (link != Link::plain) {
      top = common::createTranslator<protocol::KelvoBLEReaderCryptoProxy>(
          std::shared_ptr<protocol::KelvoBLEReader>(packets));
    }
    top->addObserver(latch);
    ble->hasService(ble::kReaderService, {});
    latch->wait();
    top->updateMtu();
  }
};

void roundTrips(benchmark::State& state, Link link) {
  Bench bench(link);
  for (auto _ : state) {
    const protocol::TransmitResult answer = bench.top->transmit(13, {0, 0, 0, 0, 0, 0, 0, 0, 0}, true);
    if (answer.status != 0) state.SkipWithError("the reader did not answer");
    benchmark::DoNotOptimize(answer);
  }
  state.counters["round_trips_per_s"] =
      benchmark::Counter(static_cast<double>(state.iterations()), benchmark::Counter::kIsRate);
}

void BM_RoundTripSmallRequestSession(benchmark::State& state) { roundTrips(state, Link::session); }
BENCHMARK(BM_RoundTripSmallRequestSession)->UseRealTime();

void BM_RoundTripSmallRequestLongTermKey(benchmark::State& state) { roundTrips(state, Link::longTermOnly); }
BENCHMARK(BM_RoundTripSmallRequestLongTermKey)->UseRealTime();

void BM_RoundTripSmallRequest(benchmark::State& state) {
  Bench bench;
  const std::vector<uint8_t> request = {13, 0, 0, 0, 0, 0, 0, 0, 0, 0};  // 10 bytes: GetDeviceState
  for (auto _ : state) {
    std::vector<uint8_t> response = bench.packets->transmitRaw(request, true);
    if (response.empty() || response[0] != 0) state.SkipWithError("the reader did not answer");
    benchmark::DoNotOptimize(response);
  }
  state.counters["round_trips_per_s"] =
      benchmark::Counter(static_cast<double>(state.iterations()), benchmark::Counter::kIsRate);
}
BENCHMARK(BM_RoundTripSmallRequest)->UseRealTime();

void BM_RoundTrip2000ByteRequest(benchmark::State& state) {
  Bench bench;
  std::vector<uint8_t> request = {20, 0, 0, 0, 0, 0xC9, 0x07};  // WriteExternalFlash of 1993 bytes at 0
  request.resize(2000, 0x5A);
  for (auto _ : state) {
    std::vector<uint8_t> response = bench.packets->transmitRaw(request, true);
    if (response.empty() || response[0] != 0) state.SkipWithError("the reader did not answer");
    benchmark::DoNotOptimize(response);
  }
  state.counters["round_trips_per_s"] =
      benchmark::Counter(static_cast<double>(state.iterations()), benchmark::Counter::kIsRate);
}
BENCHMARK(BM_RoundTrip2000ByteRequest)->UseRealTime();

// One piece of the image per request through the whole encrypted stack, as the application writes it.
void BM_OverTheAirWrite256KiBWithLinkTiming(benchmark::State& state) {
  const sim::LinkModel::Parameters timing{std::chrono::microseconds(7500), 4, 247};
  const std::vector<uint8_t> image = emulated::SignedFirmwareImage::make("2.2.0", 128);  // 11 + 256 KiB + 16
  double ratio = 0;
  double cpuPerKiB = 0;
  double linkSeconds = 0;
  for (auto _ : state) {
    state.PauseTiming();
    Bench bench(Link::session, timing);
    bench.radio->setLinkModel(timing);  // a fresh schedule, so only the write is counted
    const std::string address = bench.emulator->address();
    const trevalon::OverTheAirWriter::Exchange exchange = [&bench](const std::vector<uint8_t>& request) {
      const protocol::TransmitResult answer =
          bench.top->transmit(request.front(), std::vector<uint8_t>(request.begin() + 1, request.end()), true);
      std::vector<uint8_t> response{answer.status};
      response.insert(response.end(), answer.payload.begin(), answer.payload.end());
      return std::optional<std::vector<uint8_t>>(response);
    };
    state.ResumeTiming();
    const auto wallStart = std::chrono::steady_clock::now();
    const std::clock_t cpuStart = std::clock();
    const bool written = trevalon::OverTheAirWriter::write(image, exchange, {[](int) {}, [](const std::string&) {}});
    const double cpuSeconds = static_cast<double>(std::clock() - cpuStart) / CLOCKS_PER_SEC;
    const std::chrono::duration<double> wall = std::chrono::steady_clock::now() - wallStart;
    if (!written) state.SkipWithError("the image was not written");
    linkSeconds = std::chrono::duration<double>(bench.radio->linkModel(address)->idealTime()).count();
    ratio = wall.count() / linkSeconds;
    cpuPerKiB = cpuSeconds * 1e6 / (static_cast<double>(image.size()) / 1024.0);
  }
  state.counters["stack_to_link_ratio"] = ratio;
  state.counters["link_alone_s"] = linkSeconds;
  state.counters["cpu_us_per_KiB"] = cpuPerKiB;
}
BENCHMARK(BM_OverTheAirWrite256KiBWithLinkTiming)->Iterations(1)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace
