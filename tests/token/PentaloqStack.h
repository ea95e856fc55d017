// SPDX-License-Identifier: Apache-2.0
#pragma once
// A complete reader stack, as Reader::create builds it, over one emulated Pentaloq reader:
//   PentaloqStack stack(config);  // emulator on the radio, native reader, Reader::create
//   stack.connect();              // link up, key set up, clock set, reported connected
//   stack.reader->getSerial();

#include <atomic>
#include <chrono>
#include <memory>
#include <optional>
#include <stdexcept>
#include <thread>

#include "ReaderEvents.h"
#include "StackRelease.h"
#include "kelvo/simulator/pentaloq/PentaloqReaderEmulator.h"
#include "trevalon/Reader.h"
#include "trevalon/sim/BLEReaderSim.h"
#include "trevalon/sim/SimulatedRadio.h"
#include "trevalon/token/TokenBLECharacteristics.h"
#include "trevalon/token/TokenBLEReader.h"
#include "trevalon/token/TokenReader.h"

namespace kelvo::test {

// A reader's observer that answers key requests with the short key a user would type.
class KeyGivingEvents : public ReaderEvents {
 public:
  std::vector<uint8_t> onKeyRequested() override {
    ++asked;
    if (!key) throw std::runtime_error("no key here");
    return *key;
  }
  std::optional<std::vector<uint8_t>> key;
  std::atomic<int> asked{0};
};

// The layers of a Pentaloq stack under the two generic ones.
struct PentaloqLayers {
  explicit PentaloqLayers(const std::shared_ptr<trevalon::Device>& device) {
    std::shared_ptr<trevalon::Reader> reader = std::dynamic_pointer_cast<trevalon::Reader>(device);
    for (int generic = 0; generic < 2; ++generic) reader = lowerLayerOf<trevalon::Reader>(reader);
    translator = reader;
    functions = lowerLayerOf<trevalon::token::TokenReader>(reader);
    encrypted = lowerLayerOf<trevalon::token::TokenBLEReader>(functions);
    chunks = lowerLayerOf<trevalon::token::TokenBLEReader>(encrypted);
    characteristics = lowerLayerOf<trevalon::token::TokenBLECharacteristics>(chunks);
    ble = lowerLayerOf<trevalon::ble::BLEReader>(characteristics);
  }
  std::shared_ptr<trevalon::Reader> translator;
  std::shared_ptr<trevalon::token::TokenReader> functions;
  std::shared_ptr<trevalon::token::TokenBLEReader> encrypted;
  std::shared_ptr<trevalon::token::TokenBLEReader> chunks;
  std::shared_ptr<trevalon::token::TokenBLECharacteristics> characteristics;
  std::shared_ptr<trevalon::ble::BLEReader> ble;
};

class PentaloqStack {
 public:
  explicit PentaloqStack(const simulator::PentaloqReaderConfig& config,
                         const std::shared_ptr<simulator::PentaloqReaderEmulator>& existing = nullptr,
                         trevalon::Reader::StackOptions options = trevalon::Reader::StackOptions()) {
    emulator = existing ? existing : simulator::PentaloqReaderEmulator::create(config);
    radio->addPeripheral(emulator);
    radio->waitIdle();
    options.characteristicTimeout = std::chrono::seconds(1);
    native = trevalon::sim::BLEReaderSim::create(radio, "/org/bluez/hci0/dev_" + config.address, config.address,
                                                 config.name);
    reader = trevalon::Reader::create(native, options);
    if (reader) reader->addObserver(events);
  }

  ~PentaloqStack() {
    std::weak_ptr<trevalon::ble::BLEReader> bottom;
    if (reader) bottom = PentaloqLayers(reader).ble;
    reader.reset();
    waitGone(bottom);
  }
  PentaloqStack(const PentaloqStack&) = delete;
  PentaloqStack& operator=(const PentaloqStack&) = delete;

  // What the platform does when the reader comes into range and the system connects it. Above the Pentaloq
  // layers, availability is reported as the connection.
  // The clock is set and the card reported present right after.
  bool connect() {
    native->connect();
    return events->waitFor("connected", 1) && events->waitFor("state", trevalon::kCardPresent);
  }

  PentaloqLayers layers() { return PentaloqLayers(reader); }

  std::shared_ptr<trevalon::sim::SimulatedRadio> radio = trevalon::sim::SimulatedRadio::create();
  std::shared_ptr<simulator::PentaloqReaderEmulator> emulator;
  std::shared_ptr<trevalon::sim::BLEReaderSim> native;
  std::shared_ptr<trevalon::Reader> reader;
  std::shared_ptr<KeyGivingEvents> events = std::make_shared<KeyGivingEvents>();
};

}  // namespace kelvo::test
