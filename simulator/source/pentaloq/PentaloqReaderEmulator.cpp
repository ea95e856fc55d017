// SPDX-License-Identifier: Apache-2.0
#include "kelvo/simulator/pentaloq/PentaloqReaderEmulator.h"

#include <algorithm>
#include <cctype>
#include <chrono>
#include <thread>

namespace kelvo::simulator {
namespace {

using trevalon::ble::Uuid;
using trevalon::sim::GattCharacteristic;
using trevalon::sim::GattService;

constexpr size_t kBlock = 16;

std::string lowerCase(std::string text) {
  std::transform(text.begin(), text.end(), text.begin(), [](char c) { return static_cast<char>(std::tolower(c)); });
  return text;
}

Uuid uuidOf(const char* text) { return *Uuid::parse(text); }

}  // namespace

PentaloqReaderEmulator::PentaloqReaderEmulator(const PentaloqReaderConfig& config)
    : peerAddress(lowerCase(config.address)),
      peerName(config.name),
      linkUp(config.linkUp),
      table([&config] {
        PentaloqReaderConfig lowered = config;
        lowered.address = lowerCase(config.address);
        return lowered;
      }()),
      faults(config.faults) {}

std::shared_ptr<PentaloqReaderEmulator> PentaloqReaderEmulator::create(const PentaloqReaderConfig& config) {
  return std::make_shared<PentaloqReaderEmulator>(config);
}

Uuid PentaloqReaderEmulator::serviceUuid() { return uuidOf("a63928c5-f337-4181-9412-09b8a6d8826f"); }
Uuid PentaloqReaderEmulator::inputUuid() { return uuidOf("563e2883-5c3a-41da-8e02-15640ae703e6"); }
Uuid PentaloqReaderEmulator::outputUuid() { return uuidOf("5609a734-12c2-49e9-9edd-6eba3fdedc92"); }

std::string PentaloqReaderEmulator::address() const { return peerAddress; }
std::string PentaloqReaderEmulator::name() const { return peerName; }

std::vector<GattService> PentaloqReaderEmulator::services() const {
  GattCharacteristic input;
  input.uuid = inputUuid();
  input.writable = true;
  GattCharacteristic output;
  output.uuid = outputUuid();
  output.notifiable = true;
  return {GattService{serviceUuid(), {input, output}}};
}

bool PentaloqReaderEmulator::isLinkUp() const {
  std::lock_guard<std::mutex> guard(lock);
  return linkUp;
}

void PentaloqReaderEmulator::attach(std::weak_ptr<trevalon::sim::PeripheralListener> radio) {
  std::lock_guard<std::mutex> guard(lock);
  listener = std::move(radio);
}

std::optional<std::vector<uint8_t>> PentaloqReaderEmulator::read(const Uuid&, const Uuid&) {
  // Nothing of this reader is readable.
  return std::nullopt;
}

bool PentaloqReaderEmulator::write(const Uuid& service, const Uuid& characteristic, const std::vector<uint8_t>& data) {
  if (service != serviceUuid() || characteristic != inputUuid()) return false;
  Effects effects;
  {
    std::lock_guard<std::mutex> guard(lock);
    if (!linkUp) return false;
    gattCounters.count(kInput, GattCounters::Operation::write);
    std::vector<uint8_t> request;
    switch (assembler.add(data, request)) {
      case PentaloqChunkAssembler::Result::refused:
        return false;
      case PentaloqChunkAssembler::Result::partial:
        return true;
      case PentaloqChunkAssembler::Result::complete:
        effects = process(request);
        break;
    }
  }
  deliver(std::move(effects));
  return true;
}

bool PentaloqReaderEmulator::subscribe(const Uuid& service, const Uuid& characteristic, bool enable) {
  if (service != serviceUuid() || characteristic != outputUuid()) return false;
  std::lock_guard<std::mutex> guard(lock);
  if (!linkUp) return false;
  gattCounters.count(kOutput, GattCounters::Operation::subscribe);
  subscribed = enable;
  return true;
}

PentaloqReaderEmulator::Effects PentaloqReaderEmulator::process(const std::vector<uint8_t>& request) {
  Effects effects;
  bool encrypted = false;
  std::optional<PentaloqFrames::Frame> frame = PentaloqFrames::parse(request, true);
  const std::optional<ReaderCipher::Key>& key = table.key();
  if (!frame && key && !request.empty() && request.size() % kBlock == 0) {
    frame = PentaloqFrames::parse(ReaderCipher::ecbDecrypt(*key, request), false);
    encrypted = frame.has_value();
  }
  if (!frame) {
    // Not a frame, or sealed under a key this reader does not hold: it says so in plain.
    const uint8_t echoed = request.empty() ? 0 : request[0];
    effects.packets = PentaloqFrames::packets(PentaloqFrames::answer(echoed, PentaloqFunctionTable::kMalformed, {}));
    return effects;
  }
  if (takeFault(PentaloqFault::Kind::silent, frame->function)) return effects;
  if (takeFault(PentaloqFault::Kind::dropLink, frame->function)) {
    effects.dropLink = true;
    return effects;
  }
  std::vector<uint8_t> answer = answerFrame(frame->function, table.handle(*frame, encrypted), effects);
  if (encrypted && !table.has(PentaloqQuirk::plainAnswers)) {
    answer.resize((answer.size() + kBlock - 1) / kBlock * kBlock, 0);
    answer = ReaderCipher::ecbEncrypt(*table.key(), answer);
  }
  effects.packets = PentaloqFrames::packets(answer);
  applyPacketFaults(frame->function, effects);
  return effects;
}

std::vector<uint8_t> PentaloqReaderEmulator::answerFrame(uint8_t function, PentaloqFunctionTable::Answer answer,
                                                         Effects& effects) {
  if (auto fault = takeFault(PentaloqFault::Kind::resultCode, function)) answer.code = fault->code;
  uint8_t named = function;
  if (takeFault(PentaloqFault::Kind::otherFunction, function)) named = function == 0x20 ? 0x25 : 0x20;
  std::vector<uint8_t> frame = PentaloqFrames::answer(named, answer.code, answer.data);
  if (takeFault(PentaloqFault::Kind::emptyResult, function)) {
    frame = {named, 0, 0, 0};
    frame[3] = PentaloqFrames::crc8(frame.data(), 3);
  }
  if (takeFault(PentaloqFault::Kind::corruptCrc, function)) frame.back() ^= 0x5A;
  if (auto delay = takeFault(PentaloqFault::Kind::delay, function)) effects.delayMs = delay->delayMs;
  return frame;
}

void PentaloqReaderEmulator::applyPacketFaults(uint8_t function, Effects& effects) {
  auto listed = [](const PentaloqFault& fault, size_t index) {
    return std::count(fault.packets.begin(), fault.packets.end(), static_cast<int>(index)) != 0;
  };
  if (auto bad = takeFault(PentaloqFault::Kind::badPacket, function)) {
    for (size_t i = 0; i < effects.packets.size(); ++i) {
      if (listed(*bad, i)) effects.packets[i][0] = 0x01;
    }
  }
  if (auto drop = takeFault(PentaloqFault::Kind::dropPacket, function)) {
    std::vector<std::vector<uint8_t>> kept;
    for (size_t i = 0; i < effects.packets.size(); ++i) {
      if (!listed(*drop, i)) kept.push_back(std::move(effects.packets[i]));
    }
    effects.packets.swap(kept);
  }
}

std::optional<PentaloqFault> PentaloqReaderEmulator::takeFault(PentaloqFault::Kind kind, uint8_t function) {
  for (auto fault = faults.begin(); fault != faults.end(); ++fault) {
    if (fault->kind != kind) continue;
    if (fault->function && *fault->function != function) continue;
    PentaloqFault taken = *fault;
    if (fault->times > 0 && --fault->times == 0) faults.erase(fault);
    return taken;
  }
  return std::nullopt;
}

void PentaloqReaderEmulator::deliver(Effects effects) {
  if (effects.delayMs > 0) std::this_thread::sleep_for(std::chrono::milliseconds(effects.delayMs));
  std::lock_guard<std::mutex> guard(lock);
  if (effects.dropLink) {
    linkDownLocked();
    return;
  }
  for (std::vector<uint8_t>& packet : effects.packets) sendLocked(std::move(packet));
}

void PentaloqReaderEmulator::sendLocked(std::vector<uint8_t> value) {
  if (!linkUp || !subscribed) return;
  std::shared_ptr<trevalon::sim::PeripheralListener> radio = listener.lock();
  if (!radio) return;
  gattCounters.count(kOutput, GattCounters::Operation::notify);
  radio->onNotification(peerAddress, serviceUuid(), outputUuid(), std::move(value));
}

void PentaloqReaderEmulator::linkDownLocked() {
  if (!linkUp) return;
  linkUp = false;
  subscribed = false;
  assembler.reset();
  table.state().cardPowered = false;
  if (std::shared_ptr<trevalon::sim::PeripheralListener> radio = listener.lock()) {
    radio->onLinkChanged(peerAddress, false);
  }
}

void PentaloqReaderEmulator::linkUpLocked() {
  if (linkUp) return;
  linkUp = true;
  if (table.has(PentaloqQuirk::keyLost)) table.forgetKey();
  if (std::shared_ptr<trevalon::sim::PeripheralListener> radio = listener.lock()) {
    radio->onLinkChanged(peerAddress, true);
  }
}

void PentaloqReaderEmulator::setLinkUp(bool up) {
  std::lock_guard<std::mutex> guard(lock);
  if (up) {
    linkUpLocked();
  } else {
    linkDownLocked();
  }
}

void PentaloqReaderEmulator::insertCard(std::vector<uint8_t> atr) {
  std::lock_guard<std::mutex> guard(lock);
  table.insertCard(std::move(atr));
}

bool PentaloqReaderEmulator::insertOwnCard() {
  std::lock_guard<std::mutex> guard(lock);
  return table.insertOwnCard();
}

std::optional<PivApplication::Status> PentaloqReaderEmulator::pivStatus() const {
  std::lock_guard<std::mutex> guard(lock);
  return table.pivStatus();
}

void PentaloqReaderEmulator::removeCard() {
  std::lock_guard<std::mutex> guard(lock);
  table.removeCard();
}

void PentaloqReaderEmulator::setBatteryLevel(uint8_t level) {
  std::lock_guard<std::mutex> guard(lock);
  table.setBattery(level);
}

void PentaloqReaderEmulator::sendPacket(std::vector<uint8_t> value) {
  std::lock_guard<std::mutex> guard(lock);
  sendLocked(std::move(value));
}

void PentaloqReaderEmulator::setQuirk(PentaloqQuirk quirk, bool enabled) {
  std::lock_guard<std::mutex> guard(lock);
  table.setQuirk(quirk, enabled);
}

void PentaloqReaderEmulator::addFault(const PentaloqFault& fault) {
  std::lock_guard<std::mutex> guard(lock);
  faults.push_back(fault);
}

void PentaloqReaderEmulator::clearFaults() {
  std::lock_guard<std::mutex> guard(lock);
  faults.clear();
}

void PentaloqReaderEmulator::forgetKey() {
  std::lock_guard<std::mutex> guard(lock);
  table.forgetKey();
}

PentaloqReaderState PentaloqReaderEmulator::state() const {
  std::lock_guard<std::mutex> guard(lock);
  return table.state();
}

std::optional<ReaderCipher::Key> PentaloqReaderEmulator::key() const {
  std::lock_guard<std::mutex> guard(lock);
  return table.key();
}

GattCounters PentaloqReaderEmulator::counters() const { return gattCounters; }

void PentaloqReaderEmulator::resetCounters() { gattCounters.reset(); }

}  // namespace kelvo::simulator
