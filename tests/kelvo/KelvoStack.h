// SPDX-License-Identifier: Apache-2.0
#pragma once
// A Kelvo reader stack on the simulated radio, layer by layer, against one emulated reader:
//   KelvoStack stack(config);          // emulator on the radio, native reader, synchronous reader, ...
//   stack.connect();                   // first use: link up, notifications registered, reader available
//   stack.packets->transmit(13, {}, true);

#include <chrono>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <thread>

#include "kelvo/simulator/kelvo/KelvoReaderEmulator.h"
#include "trevalon/ble/BLEReaderBLEReaderNativeTranslator.h"
#include "trevalon/kelvo/KelvoBLECharacteristscsBLEReaderTranslator.h"
#include "trevalon/kelvo/KelvoBLEReaderCryptoProxy.h"
#include "trevalon/kelvo/KelvoBLEReaderKelvoBLECharacteristscsTranslator.h"
#include "trevalon/kelvo/KelvoReaderKelvoBLEReaderTranslator.h"
#include "trevalon/sim/BLEReaderSim.h"
#include "trevalon/sim/SimulatedRadio.h"

namespace kelvo::test {

using namespace std::chrono_literals;

// Records what the top of the packet layer reports.
class PacketEvents : public trevalon::kelvo::KelvoBLEReaderObserver {
 public:
  void onActiveEncryptionChanged(uint8_t state) override {
    record([&] { encryption.push_back(state); });
  }
  void onConnectedChanged(bool value) override {
    record([&] { connected.push_back(value); });
  }
  void onAvailableChanged(bool value) override {
    record([&] { available.push_back(value); });
  }
  void onPairedChanged(bool) override {}
  void notified(uint8_t id, std::vector<uint8_t> data) override {
    record([&] { notifications.emplace_back(id, data); });
  }
  void onEvent(uint32_t) override {}

  bool waitFor(const std::function<bool()>& condition, std::chrono::milliseconds limit = 10s) {
    std::unique_lock<std::mutex> guard(lock);
    return changed.wait_for(guard, limit, condition);
  }
  template <typename T>
  T read(const T& field) {
    std::lock_guard<std::mutex> guard(lock);
    return field;
  }

  std::mutex lock;
  std::condition_variable changed;
  std::vector<uint8_t> encryption;
  std::vector<bool> connected;
  std::vector<bool> available;
  std::vector<std::pair<uint8_t, std::vector<uint8_t>>> notifications;

 private:
  template <typename F>
  void record(F change) {
    {
      std::lock_guard<std::mutex> guard(lock);
      change();
    }
    changed.notify_all();
  }
};

struct StackOptions {
  std::chrono::milliseconds idlePeriod = 60s;
  std::chrono::seconds characteristicTimeout = 2s;
  bool encrypted = false;  // with the link-encryption layer on top of the packet layer
};

class KelvoStack {
 public:
  explicit KelvoStack(const simulator::KelvoReaderConfig& config, StackOptions options = {}) {
    emulator = simulator::KelvoReaderEmulator::create(config.withDefaults());
    radio->addPeripheral(emulator);
    // Let the radio report the link first: a native reader made afterwards learns availability from its own
    // first notification registration, which the layers above are attached to see.
    radio->waitIdle();
    native = trevalon::sim::BLEReaderSim::create(radio, config.address, config.address, config.name);
    ble = trevalon::common::createTranslator<trevalon::ble::BLEReaderBLEReaderNativeTranslator>(
        std::shared_ptr<trevalon::ble::BLEReaderNative>(native), options.idlePeriod);
    characteristics = trevalon::common::createTranslator<trevalon::kelvo::KelvoBLECharacteristscsBLEReaderTranslator>(
        ble, options.characteristicTimeout);
    packets = std::make_shared<trevalon::kelvo::KelvoBLEReaderKelvoBLECharacteristscsTranslator>();
    packets->setMaster(characteristics);
    top = packets;
    if (options.encrypted) {
      proxy = trevalon::common::createTranslator<trevalon::kelvo::KelvoBLEReaderCryptoProxy>(
          std::shared_ptr<trevalon::kelvo::KelvoBLEReader>(packets));
      top = proxy;
    }
    top->addObserver(events);
  }

  // Worker threads of the stack (notifications, availability) hold its synchronous reader while they run: wait
  // for them, so that no test ends while one is still inside the stack or the crypto library.
  ~KelvoStack() {
    std::weak_ptr<trevalon::ble::BLEReader> layers = ble;
    top.reset();
    proxy.reset();
    packets.reset();
    characteristics.reset();
    ble.reset();
    const auto deadline = std::chrono::steady_clock::now() + 10s;
    while (!layers.expired() && std::chrono::steady_clock::now() < deadline) {
      std::this_thread::sleep_for(1ms);
    }
  }
  KelvoStack(const KelvoStack&) = delete;
  KelvoStack& operator=(const KelvoStack&) = delete;

  // A plain reader: its encryption setting off, so that requests without the encryption layer are served.
  static simulator::KelvoReaderConfig plainConfig() {
    simulator::KelvoReaderConfig config;
    config.settings[7] = 0;
    return config;
  }

  // The first use brings the link up; the reader is available once its notifications are registered.
  bool connect() {
    ble->hasService(trevalon::ble::kReaderService, {});
    return events->waitFor([this] { return !events->available.empty() && events->available.back(); });
  }

  std::shared_ptr<trevalon::sim::SimulatedRadio> radio = trevalon::sim::SimulatedRadio::create();
  std::shared_ptr<simulator::KelvoReaderEmulator> emulator;
  std::shared_ptr<trevalon::sim::BLEReaderSim> native;
  std::shared_ptr<trevalon::ble::BLEReader> ble;
  std::shared_ptr<trevalon::kelvo::KelvoBLECharacteristscs> characteristics;
  std::shared_ptr<trevalon::kelvo::KelvoBLEReaderKelvoBLECharacteristscsTranslator> packets;
  std::shared_ptr<trevalon::kelvo::KelvoBLEReader> proxy;
  std::shared_ptr<trevalon::kelvo::KelvoBLEReader> top;
  std::shared_ptr<PacketEvents> events = std::make_shared<PacketEvents>();
};

}  // namespace kelvo::test
