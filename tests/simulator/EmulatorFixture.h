// SPDX-License-Identifier: Apache-2.0
#pragma once
// One emulated reader on a fresh simulated radio with a raw GATT host attached: the starting point of
// every emulator test.

#include <gtest/gtest.h>

#include <memory>

#include "RawGattHost.h"
#include "kelvo/simulator/kelvo/KelvoReaderEmulator.h"

namespace kelvo::test {

class EmulatorFixture : public ::testing::Test {
 protected:
  using Emulator = kelvo::simulator::KelvoReaderEmulator;
  using Config = kelvo::simulator::KelvoReaderConfig;

  // Encryption off, so that plain requests are served.
  static Config plainConfig() {
    Config config;
    config.settings[7] = 0;
    return config;
  }

  std::shared_ptr<Emulator> start(const Config& config = plainConfig()) {
    emulator = Emulator::create(config);
    radio->addPeripheral(emulator);
    host = RawGattHost::attach(radio, config.address, config.service);
    return emulator;
  }

  // The framing a host picks for a request of that size before any negotiation.
  std::optional<Bytes> call(const Bytes& request) {
    return request.size() < 18 ? host->transmit(request) : host->transmitPrepared(request);
  }

  void TearDown() override {
    if (host) host->reader->disconnect();
    radio->waitIdle();
  }

  std::shared_ptr<trevalon::sim::SimulatedRadio> radio = trevalon::sim::SimulatedRadio::create();
  std::shared_ptr<Emulator> emulator;
  std::shared_ptr<RawGattHost> host;
};

inline Bytes text(const std::string& value) { return Bytes(value.begin(), value.end()); }

}  // namespace kelvo::test
