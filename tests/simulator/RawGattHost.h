// SPDX-License-Identifier: Apache-2.0
#pragma once
// A host that talks to an emulated reader in raw GATT operations through the simulated radio's native
// reader, and collects what the reader notifies: the bytes on the air, with no host protocol layer between.

#include <chrono>
#include <condition_variable>
#include <deque>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "kelvo/simulator/kelvo/KelvoReaderEmulator.h"
#include "trevalon/sim/BLEReaderSim.h"
#include "trevalon/sim/SimulatedRadio.h"

namespace kelvo::test {

using Bytes = std::vector<uint8_t>;

class RawGattHost : public trevalon::ble::BLEReaderNativeObserver {
 public:
  using Emulator = kelvo::simulator::KelvoReaderEmulator;

  static std::shared_ptr<RawGattHost> attach(const std::shared_ptr<trevalon::sim::SimulatedRadio>& radio,
                                             const std::string& address, uint16_t service = 0x6803) {
    auto host = std::make_shared<RawGattHost>();
    host->service = Emulator::serviceUuid(service);
    host->reader = trevalon::sim::BLEReaderSim::create(radio, address, address, "");
    host->reader->addObserver(host);
    host->reader->connect();
    host->reader->registerCharacteristic(host->service, Emulator::characteristicUuid(Emulator::kOutput2));
    host->reader->registerCharacteristic(host->service, Emulator::characteristicUuid(Emulator::kNotification));
    return host;
  }

  bool write(uint16_t characteristic, const Bytes& value) {
    reader->writeCharacteristic(service, Emulator::characteristicUuid(characteristic), value);
    std::lock_guard<std::mutex> guard(lock);
    return lastWrite;
  }

  Bytes read(uint16_t characteristic) {
    reader->readCharacteristic(service, Emulator::characteristicUuid(characteristic));
    std::lock_guard<std::mutex> guard(lock);
    return lastRead;
  }

  // The next value notified on a characteristic; empty after the wait.
  std::optional<Bytes> next(uint16_t characteristic, std::chrono::milliseconds wait = std::chrono::seconds(5)) {
    std::unique_lock<std::mutex> guard(lock);
    std::deque<Bytes>& queue = characteristic == Emulator::kOutput2 ? packages : notifications;
    if (!arrived.wait_for(guard, wait, [&] { return !queue.empty(); })) return std::nullopt;
    Bytes value = queue.front();
    queue.pop_front();
    return value;
  }

  // Everything still queued for a characteristic once the radio has delivered what it had.
  std::vector<Bytes> drain(const std::shared_ptr<trevalon::sim::SimulatedRadio>& radio, uint16_t characteristic) {
    radio->waitIdle();
    std::lock_guard<std::mutex> guard(lock);
    std::deque<Bytes>& queue = characteristic == Emulator::kOutput2 ? packages : notifications;
    std::vector<Bytes> values(queue.begin(), queue.end());
    queue.clear();
    return values;
  }

  // Request framing in 'transmit': a 2-byte length, then the request; answers come as packages whose
  // package 0 carries the total size, 1 and the package size. Returns the response without that header.
  std::optional<Bytes> transmit(const Bytes& request) {
    Bytes frame{static_cast<uint8_t>(request.size()), static_cast<uint8_t>(request.size() >> 8)};
    frame.insert(frame.end(), request.begin(), request.end());
    if (!write(Emulator::kTransmit, frame)) return std::nullopt;
    std::optional<Bytes> first = collect(std::nullopt, 0);
    if (!first || first->size() < 4) return std::nullopt;
    return Bytes(first->begin() + 4, first->end());
  }

  // Request framing in 'prepare'/'input' with 20-byte pieces, answer size from 'process2'.
  std::optional<Bytes> transmitPrepared(const Bytes& request) {
    if (!write(Emulator::kPrepare, {static_cast<uint8_t>(request.size()), static_cast<uint8_t>(request.size() >> 8)})) {
      return std::nullopt;
    }
    for (size_t at = 0; at < request.size(); at += 20) {
      const size_t end = std::min(request.size(), at + 20);
      if (!write(Emulator::kInput,
                 Bytes(request.begin() + static_cast<long>(at), request.begin() + static_cast<long>(end)))) {
        return std::nullopt;
      }
    }
    const Bytes sizes = read(Emulator::kProcess2);
    if (sizes.size() != 4 || sizes[2] != 1 || sizes[3] == 0) return std::nullopt;
    return collect(static_cast<size_t>(sizes[0] | sizes[1] << 8), sizes[3]);
  }

  // Reassembles packages by index; `size` and `pack` come from 'process2', or from package 0 when absent.
  std::optional<Bytes> collect(std::optional<size_t> size, size_t pack) {
    std::vector<Bytes> early;
    Bytes buffer;
    std::vector<bool> seen;
    auto place = [&](const Bytes& package) {
      const size_t index = package[0];
      if (index >= seen.size()) return false;
      const size_t at = index * pack;
      if (at + package.size() - 1 > buffer.size()) return false;
      std::copy(package.begin() + 1, package.end(), buffer.begin() + static_cast<long>(at));
      seen[index] = true;
      return true;
    };
    auto start = [&](size_t total, size_t packSize) {
      pack = packSize;
      buffer.assign(total, 0);
      seen.assign((total + pack - 1) / pack, false);
    };
    if (size) start(*size, pack);
    for (;;) {
      if (!seen.empty() && std::all_of(seen.begin(), seen.end(), [](bool b) { return b; })) return buffer;
      std::optional<Bytes> package = next(Emulator::kOutput2);
      if (!package || package->empty()) return std::nullopt;
      if (seen.empty()) {
        if ((*package)[0] != 0) {
          early.push_back(*package);
          continue;
        }
        if (package->size() < 5) return std::nullopt;
        start(static_cast<size_t>((*package)[1] | (*package)[2] << 8), (*package)[4]);
        if (!place(*package)) return std::nullopt;
        for (const Bytes& held : early) {
          if (!place(held)) return std::nullopt;
        }
        continue;
      }
      if (!place(*package)) return std::nullopt;
    }
  }

  void onAvailableChanged(bool) override {}
  void onConnectedChanged(bool) override {}
  void onPairedChanged(bool) override {}
  void onCharacteristicRead(trevalon::ble::Uuid, trevalon::ble::Uuid, Bytes data) override {
    std::lock_guard<std::mutex> guard(lock);
    lastRead = std::move(data);
  }
  void onCharacteristicWritten(trevalon::ble::Uuid, trevalon::ble::Uuid, bool success) override {
    std::lock_guard<std::mutex> guard(lock);
    lastWrite = success;
  }
  void onCharacteristicChanged(trevalon::ble::Uuid, trevalon::ble::Uuid characteristic, Bytes data) override {
    {
      std::lock_guard<std::mutex> guard(lock);
      if (characteristic == Emulator::characteristicUuid(Emulator::kOutput2)) {
        packages.push_back(std::move(data));
      } else {
        notifications.push_back(std::move(data));
      }
    }
    arrived.notify_all();
  }

  std::shared_ptr<trevalon::sim::BLEReaderSim> reader;
  trevalon::ble::Uuid service;

 private:
  std::mutex lock;
  std::condition_variable arrived;
  std::deque<Bytes> packages;
  std::deque<Bytes> notifications;
  Bytes lastRead;
  bool lastWrite = false;
};

}  // namespace kelvo::test
