// SPDX-License-Identifier: Apache-2.0
#pragma once
// A complete reader stack, as Reader::create builds it, over one emulated Kelvo reader:
//   ReaderStack stack(config);   // emulator on the radio, native reader, Reader::create
//   stack.connect();             // link up, keys agreed, reader functions loaded, reader available
//   stack.reader->getBatteryLevel();

#include <memory>

#include "ReaderEvents.h"
#include "StackRelease.h"
#include "kelvo/simulator/kelvo/KelvoReaderEmulator.h"
#include "trevalon/Reader.h"
#include "trevalon/sim/BLEReaderSim.h"
#include "trevalon/sim/SimulatedRadio.h"

namespace kelvo::test {

class ReaderStack {
 public:
  explicit ReaderStack(const simulator::KelvoReaderConfig& config,
                       trevalon::Reader::StackOptions options = trevalon::Reader::StackOptions()) {
    options.characteristicTimeout = std::chrono::seconds(2);
    emulator = simulator::KelvoReaderEmulator::create(config.withDefaults());
    radio->addPeripheral(emulator);
    radio->waitIdle();
    native = trevalon::sim::BLEReaderSim::create(radio, config.address, config.address, config.name);
    reader = trevalon::Reader::create(native, options);
    if (reader) reader->addObserver(events);
  }

  ~ReaderStack() {
    std::weak_ptr<trevalon::ble::BLEReader> bottom =
        reader ? bottomOf(reader) : std::weak_ptr<trevalon::ble::BLEReader>();
    reader.reset();
    waitGone(bottom);
  }
  ReaderStack(const ReaderStack&) = delete;
  ReaderStack& operator=(const ReaderStack&) = delete;

  // What the platform does when the reader comes into range and the system connects it.
  bool connect() {
    native->connect();
    return events->waitFor("available", 1);
  }

  std::shared_ptr<trevalon::sim::SimulatedRadio> radio = trevalon::sim::SimulatedRadio::create();
  std::shared_ptr<simulator::KelvoReaderEmulator> emulator;
  std::shared_ptr<trevalon::sim::BLEReaderSim> native;
  std::shared_ptr<trevalon::Reader> reader;
  std::shared_ptr<ReaderEvents> events = std::make_shared<ReaderEvents>();
};

}  // namespace kelvo::test
