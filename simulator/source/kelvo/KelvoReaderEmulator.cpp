// SPDX-License-Identifier: Apache-2.0
#include "kelvo/simulator/kelvo/KelvoReaderEmulator.h"

#include <algorithm>
#include <cctype>
#include <chrono>
#include <thread>

#include "kelvo/simulator/kelvo/SignedFirmwareImage.h"

namespace kelvo::simulator {
namespace {

using trevalon::ble::Uuid;
using trevalon::sim::GattCharacteristic;
using trevalon::sim::GattService;

constexpr uint8_t kEncryptionMarker = 0xFF;
constexpr uint8_t kEncryptionSetting = 7;
constexpr uint8_t kExchangeKey = 3;
constexpr uint8_t kExchangeSessionKey = 160;
constexpr uint8_t kAnyMethod = 0xFF;
constexpr size_t kLongValueLength = 30;
// GotoBotloader mode 1: install the image the host wrote into the external flash.
constexpr uint8_t kBootFromExternalFlash = 1;
// The most a sealed answer grows: a padding block for AES-ECB (the CCM tag is smaller).
constexpr size_t kSealingGrowth = 17;

Uuid baseUuid(uint16_t id) {
  std::array<uint8_t, 16> bytes = {0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x10, 0x00,
                                   0x80, 0x00, 0x00, 0x80, 0x5f, 0x9b, 0x34, 0xfb};
  bytes[2] = static_cast<uint8_t>(id >> 8);
  bytes[3] = static_cast<uint8_t>(id);
  return Uuid(bytes);
}

// The radio reports addresses in lower case, and hosts compare them as text.
std::string lowerCase(std::string text) {
  std::transform(text.begin(), text.end(), text.begin(), [](char c) { return static_cast<char>(std::tolower(c)); });
  return text;
}

bool fits(size_t responseLength, KelvoReaderPacketTransfer::Framing framing, size_t pack) {
  const size_t total = responseLength + (framing == KelvoReaderPacketTransfer::Framing::oneWrite ? 4 : 0);
  return total <= 0xFFFF && (total + pack - 1) / pack <= KelvoReaderPacketTransfer::kMaxPackages;
}

}  // namespace

KelvoReaderEmulator::KelvoReaderEmulator(const KelvoReaderConfig& config)
    : peerAddress(lowerCase(config.address)),
      peerName(config.name),
      serviceVariant(config.service),
      generation(config.generation),
      linkUp(config.linkUp),
      table(config, crypto, transfer),
      faults(config.faults) {
  if (config.randomFaults) randomFaults.emplace(*config.randomFaults);
}

std::shared_ptr<KelvoReaderEmulator> KelvoReaderEmulator::create(const KelvoReaderConfig& config) {
  return std::make_shared<KelvoReaderEmulator>(config);
}

Uuid KelvoReaderEmulator::serviceUuid(uint16_t variant) {
  std::array<uint8_t, 16> bytes = {0x72, 0x3e, 0x2e, 0xe5, 0xf0, 0xaa, 0x4f, 0x13,
                                   0xa5, 0x57, 0x6b, 0x3f, 0x0e, 0x91, 0x68, 0x03};
  bytes[14] = static_cast<uint8_t>(variant >> 8);
  bytes[15] = static_cast<uint8_t>(variant);
  return Uuid(bytes);
}

Uuid KelvoReaderEmulator::characteristicUuid(uint16_t id) { return baseUuid(id); }

std::string KelvoReaderEmulator::address() const { return peerAddress; }
std::string KelvoReaderEmulator::name() const { return peerName; }

std::vector<GattService> KelvoReaderEmulator::services() const {
  auto make = [](uint16_t id, bool readable, bool writable, bool notifiable) {
    GattCharacteristic characteristic;
    characteristic.uuid = characteristicUuid(id);
    characteristic.readable = readable;
    characteristic.writable = writable;
    characteristic.notifiable = notifiable;
    return characteristic;
  };
  GattService service;
  service.uuid = serviceUuid(serviceVariant);
  service.characteristics = {
      make(kPrepare, false, true, false),    make(kInput, false, true, false),
      make(kProcess2, true, false, false),   make(kOutput2, false, false, true),
      make(kSpareWrite, false, true, false), make(kSpareRead, true, false, false),
      make(kTransmit, false, true, false),   make(kNotification, false, false, true),
      make(kIndicate, false, true, false),
  };
  return {service};
}

bool KelvoReaderEmulator::isLinkUp() const {
  std::lock_guard<std::mutex> guard(lock);
  return linkUp;
}

std::optional<uint16_t> KelvoReaderEmulator::characteristicId(const Uuid& service, const Uuid& characteristic) const {
  if (service != serviceUuid(serviceVariant)) return std::nullopt;
  for (uint16_t id = kPrepare; id <= kIndicate; ++id) {
    if (characteristic == baseUuid(id)) return id;
  }
  return std::nullopt;
}

void KelvoReaderEmulator::attach(std::weak_ptr<trevalon::sim::PeripheralListener> radio) {
  std::lock_guard<std::mutex> guard(lock);
  listener = std::move(radio);
}

std::optional<std::vector<uint8_t>> KelvoReaderEmulator::read(const Uuid& service, const Uuid& characteristic) {
  const std::optional<uint16_t> id = characteristicId(service, characteristic);
  if (!id) return std::nullopt;
  Effects effects;
  std::optional<std::vector<uint8_t>> value;
  {
    std::lock_guard<std::mutex> guard(lock);
    if (!linkUp) return std::nullopt;
    gattCounters.count(*id, GattCounters::Operation::read);
    if (takeFault(KelvoReaderFault::Kind::longValue, kAnyMethod,
                  [&](const KelvoReaderFault& f) { return f.characteristic == *id; })) {
      return std::vector<uint8_t>(kLongValueLength, 0xA5);
    }
    if (*id == kProcess2) {
      if (!held) return transfer.process2Value({});
      value = transfer.process2Value(held->response);
      respond(*held, KelvoReaderPacketTransfer::Framing::prepared, effects);
      held.reset();
    } else if (*id == kSpareRead) {
      value = std::vector<uint8_t>{static_cast<uint8_t>(table.state().generation)};
    }
  }
  deliver(std::move(effects));
  return value;
}

bool KelvoReaderEmulator::write(const Uuid& service, const Uuid& characteristic, const std::vector<uint8_t>& data) {
  const std::optional<uint16_t> id = characteristicId(service, characteristic);
  if (!id) return false;
  Effects effects;
  bool accepted = true;
  {
    std::lock_guard<std::mutex> guard(lock);
    if (!linkUp) return false;
    gattCounters.count(*id, GattCounters::Operation::write);
    ReaderOutbox outbox;
    switch (*id) {
      case kPrepare:
        held.reset();
        accepted = transfer.prepare(data);
        break;
      case kInput: {
        std::vector<uint8_t> request;
        const KelvoReaderPacketTransfer::InputResult result = transfer.input(data, request);
        accepted = result != KelvoReaderPacketTransfer::InputResult::refused;
        if (result == KelvoReaderPacketTransfer::InputResult::complete) {
          Answer reply = answer(request, outbox);
          if (reply.dropLink) {
            effects.dropLinkAfter = 0;
            effects.linkComesBack = reply.linkComesBack;
          } else {
            held = std::move(reply);
          }
        }
        break;
      }
      case kTransmit: {
        held.reset();
        std::optional<std::vector<uint8_t>> request = transfer.transmit(data);
        accepted = request.has_value();
        if (request) {
          Answer reply = answer(*request, outbox);
          if (reply.dropLink) {
            effects.dropLinkAfter = 0;
            effects.linkComesBack = reply.linkComesBack;
          } else {
            respond(reply, KelvoReaderPacketTransfer::Framing::oneWrite, effects);
          }
        }
        break;
      }
      case kIndicate:
        table.command(data, outbox);
        break;
      case kSpareWrite:
        break;
      default:
        accepted = false;
        break;
    }
    collect(outbox, effects);
  }
  deliver(std::move(effects));
  return accepted;
}

bool KelvoReaderEmulator::subscribe(const Uuid& service, const Uuid& characteristic, bool enable) {
  const std::optional<uint16_t> id = characteristicId(service, characteristic);
  if (!id || (*id != kOutput2 && *id != kNotification)) return false;
  std::lock_guard<std::mutex> guard(lock);
  if (!linkUp) return false;
  gattCounters.count(*id, GattCounters::Operation::subscribe);
  if (enable) {
    subscribed.insert(*id);
  } else {
    subscribed.erase(*id);
  }
  return true;
}

bool KelvoReaderEmulator::refusesPlain(uint8_t method) const {
  const KelvoReaderState& state = table.state();
  if (state.setting(kEncryptionSetting) != 1 || state.has(KelvoReaderQuirk::acceptPlain)) return false;
  // The key agreement itself has to travel in plain.
  return method != kExchangeKey && method != kExchangeSessionKey;
}

KelvoReaderEmulator::Answer KelvoReaderEmulator::answer(const std::vector<uint8_t>& frame, ReaderOutbox& outbox) {
  Answer reply;
  KelvoReaderLinkCrypto::Mode mode = KelvoReaderLinkCrypto::Mode::plain;
  std::vector<uint8_t> request = frame;
  if (!frame.empty() && frame.front() == kEncryptionMarker) {
    KelvoReaderLinkCrypto::Opened opened = crypto.open(frame);
    mode = opened.mode;
    if (opened.failure != 0) {
      reply.response = crypto.seal({opened.failure}, mode);
      return reply;
    }
    request = std::move(opened.request);
  }
  reply.method = request.empty() ? kAnyMethod : request.front();
  if (takeFault(KelvoReaderFault::Kind::dropLink, reply.method,
                [](const KelvoReaderFault& f) { return f.afterPackages == 0; })) {
    reply.dropLink = true;
    return reply;
  }
  if (randomFaults && randomFaults->dropsLinkBeforeServing()) {
    reply.dropLink = true;
    reply.linkComesBack = true;
    return reply;
  }
  std::vector<uint8_t> response;
  if (mode == KelvoReaderLinkCrypto::Mode::plain && refusesPlain(reply.method)) {
    response = {KelvoReaderLinkCrypto::kStatusNoKey};
  } else {
    response = table.handle(request, outbox);
  }
  // Both framings are checked: which one carries the answer is decided by the caller.
  if (!fits(response.size() + kSealingGrowth, KelvoReaderPacketTransfer::Framing::oneWrite, transfer.pack())) {
    response = {KelvoReaderRpcTable::kError};
  }
  reply.response = crypto.seal(response, mode);
  if (mode != KelvoReaderLinkCrypto::Mode::plain && !reply.response.empty() &&
      (takeFault(KelvoReaderFault::Kind::corruptTag, reply.method, [](const KelvoReaderFault&) { return true; }) ||
       (randomFaults && randomFaults->corruptsTag()))) {
    reply.response.back() ^= 0x5A;
  }
  return reply;
}

void KelvoReaderEmulator::respond(const Answer& reply, KelvoReaderPacketTransfer::Framing framing, Effects& effects) {
  effects.packages = transfer.packages(reply.response, framing);
  applyPackageFaults(reply.method, effects);
  if (auto delay =
          takeFault(KelvoReaderFault::Kind::delay, reply.method, [](const KelvoReaderFault&) { return true; })) {
    effects.delayMs = delay->delayMs;
  }
  if (auto drop = takeFault(KelvoReaderFault::Kind::dropLink, reply.method,
                            [](const KelvoReaderFault& f) { return f.afterPackages > 0; })) {
    effects.dropLinkAfter = static_cast<size_t>(drop->afterPackages);
  }
  applyRandomFaults(effects);
}

void KelvoReaderEmulator::applyRandomFaults(Effects& effects) {
  if (!randomFaults) return;
  randomFaults->disturb(effects.packages);
  effects.delayMs = std::max(effects.delayMs, randomFaults->delayMs());
  if (auto after = randomFaults->dropsLinkAfter(effects.packages.size())) {
    effects.linkComesBack = !effects.dropLinkAfter;
    effects.dropLinkAfter = std::min(*after, effects.dropLinkAfter.value_or(*after));
  }
}

void KelvoReaderEmulator::applyPackageFaults(uint8_t method, Effects& effects) {
  KelvoReaderPacketTransfer::Packages& packages = effects.packages;
  auto indexOf = [](const std::vector<uint8_t>& package) { return static_cast<int>(package.front()); };
  auto any = [](const KelvoReaderFault&) { return true; };
  if (auto reorder = takeFault(KelvoReaderFault::Kind::reorderPackages, method, any)) {
    KelvoReaderPacketTransfer::Packages ordered;
    std::vector<bool> taken(packages.size(), false);
    for (int index : reorder->packages) {
      if (index >= 0 && static_cast<size_t>(index) < packages.size() && !taken[static_cast<size_t>(index)]) {
        ordered.push_back(packages[static_cast<size_t>(index)]);
        taken[static_cast<size_t>(index)] = true;
      }
    }
    for (size_t i = 0; i < packages.size(); ++i) {
      if (!taken[i]) ordered.push_back(packages[i]);
    }
    packages.swap(ordered);
  }
  if (auto repeat = takeFault(KelvoReaderFault::Kind::repeatPackage, method, any)) {
    KelvoReaderPacketTransfer::Packages repeated;
    for (const std::vector<uint8_t>& package : packages) {
      repeated.push_back(package);
      if (std::count(repeat->packages.begin(), repeat->packages.end(), indexOf(package)) != 0) {
        repeated.push_back(package);
      }
    }
    packages.swap(repeated);
  }
  if (auto drop = takeFault(KelvoReaderFault::Kind::dropPackage, method, any)) {
    packages.erase(std::remove_if(packages.begin(), packages.end(),
                                  [&](const std::vector<uint8_t>& package) {
                                    return std::count(drop->packages.begin(), drop->packages.end(), indexOf(package)) !=
                                           0;
                                  }),
                   packages.end());
  }
}

std::optional<KelvoReaderFault> KelvoReaderEmulator::takeFault(
    KelvoReaderFault::Kind kind, uint8_t method, const std::function<bool(const KelvoReaderFault&)>& accept) {
  for (auto fault = faults.begin(); fault != faults.end(); ++fault) {
    if (fault->kind != kind || !accept(*fault)) continue;
    if (fault->method && *fault->method != method) continue;
    KelvoReaderFault taken = *fault;
    if (fault->times > 0 && --fault->times == 0) faults.erase(fault);
    return taken;
  }
  return std::nullopt;
}

void KelvoReaderEmulator::collect(ReaderOutbox& outbox, Effects& effects) const {
  for (std::vector<uint8_t>& value : outbox.notifications) effects.notifications.push_back(std::move(value));
  if (outbox.bootMode) effects.bootMode = outbox.bootMode;
  effects.reconnect = effects.reconnect || outbox.reconnect;
}

void KelvoReaderEmulator::sendLocked(uint16_t id, std::vector<uint8_t> value) {
  if (!linkUp || subscribed.count(id) == 0) return;
  std::shared_ptr<trevalon::sim::PeripheralListener> radio = listener.lock();
  if (!radio) return;
  gattCounters.count(id, GattCounters::Operation::notify);
  radio->onNotification(peerAddress, serviceUuid(serviceVariant), characteristicUuid(id), std::move(value));
}

void KelvoReaderEmulator::linkDownLocked() {
  if (!linkUp) return;
  linkUp = false;
  crypto.endSession();
  transfer.reset();
  held.reset();
  if (std::shared_ptr<trevalon::sim::PeripheralListener> radio = listener.lock()) {
    radio->onLinkChanged(peerAddress, false);
  }
}

void KelvoReaderEmulator::linkUpLocked() {
  if (linkUp || table.state().bootMode) return;
  linkUp = true;
  if (table.state().has(KelvoReaderQuirk::keyLost)) crypto.forgetLongTermKey();
  if (std::shared_ptr<trevalon::sim::PeripheralListener> radio = listener.lock()) {
    radio->onLinkChanged(peerAddress, true);
  }
}

void KelvoReaderEmulator::deliver(Effects effects) {
  if (effects.delayMs > 0) std::this_thread::sleep_for(std::chrono::milliseconds(effects.delayMs));
  std::lock_guard<std::mutex> guard(lock);
  size_t sent = 0;
  for (std::vector<uint8_t>& package : effects.packages) {
    if (effects.dropLinkAfter && sent == *effects.dropLinkAfter) break;
    sendLocked(kOutput2, std::move(package));
    ++sent;
  }
  if (effects.dropLinkAfter) {
    linkDownLocked();
    if (effects.linkComesBack) linkUpLocked();
    return;
  }
  for (std::vector<uint8_t>& value : effects.notifications) sendLocked(kNotification, std::move(value));
  if (effects.bootMode) {
    table.state().bootMode = effects.bootMode;
    linkDownLocked();
    if (*effects.bootMode == kBootFromExternalFlash) restartFromExternalFlashLocked();
    showOnUsbLocked();
  }
  if (effects.reconnect) {
    // The reader restarts its radio to refill its random pool, and comes back.
    linkDownLocked();
    linkUpLocked();
  }
}

// The bootloader installs the image the host wrote into the external flash (its size in front) when it checks
// out, and the reader comes back on the air with whichever firmware it then has.
void KelvoReaderEmulator::restartFromExternalFlashLocked() {
  KelvoReaderState& state = table.state();
  std::string& firmware = descriptorValueLocked("Firmware");
  const std::vector<uint8_t>& flash = table.flash();
  std::string version;
  std::string error = "no image in the external flash";
  if (flash.size() >= 4) {
    const size_t size = flash[0] | (flash[1] << 8) | (flash[2] << 16) | (static_cast<size_t>(flash[3]) << 24);
    if (size <= flash.size() - 4) {
      const std::vector<uint8_t> image(flash.begin() + 4, flash.begin() + 4 + static_cast<long>(size));
      if (SignedFirmwareImage::check(image, version, error)) error.clear();
    } else {
      error = "the size in front of the image is larger than the flash written";
    }
  }
  if (error.empty()) {
    firmware = version;
    state.lastFlashInstall = "installed " + version;
  } else {
    state.lastFlashInstall = "kept " + firmware + ": " + error;
  }
  state.bootMode.reset();
  linkUpLocked();
}

std::string& KelvoReaderEmulator::descriptorValueLocked(const std::string& key) {
  for (auto& entry : table.state().descriptor) {
    if (entry.first == key) return entry.second;
  }
  table.state().descriptor.emplace_back(key, std::string());
  return table.state().descriptor.back().second;
}

void KelvoReaderEmulator::setLinkUp(bool up) {
  std::lock_guard<std::mutex> guard(lock);
  if (up) {
    linkUpLocked();
  } else {
    linkDownLocked();
  }
}

void KelvoReaderEmulator::leaveBootMode() {
  std::lock_guard<std::mutex> guard(lock);
  table.state().bootMode.reset();
  linkUpLocked();
  showOnUsbLocked();
}

void KelvoReaderEmulator::attachUsbPort(const std::shared_ptr<KelvoReaderUsbPort>& port) {
  std::lock_guard<std::mutex> guard(lock);
  usbPort = port;
  shownOnUsb = KelvoReaderUsbPort::Presence::none;
  showOnUsbLocked();
}

void KelvoReaderEmulator::finishUsbBootloader(const std::optional<std::string>& version,
                                              const std::optional<std::string>& error) {
  std::lock_guard<std::mutex> guard(lock);
  KelvoReaderState& state = table.state();
  if (!state.bootMode || *state.bootMode == kBootFromExternalFlash) return;  // not in its USB bootloader
  std::string& firmware = descriptorValueLocked("Firmware");
  if (error) {
    state.lastFlashInstall = "kept " + firmware + ": " + *error;
  } else if (version) {
    firmware = *version;
    state.lastFlashInstall = "installed " + *version;
  } else {
    state.lastFlashInstall = "installed an image without a version";
  }
  state.bootMode.reset();
  linkUpLocked();
  showOnUsbLocked();
}

std::string KelvoReaderEmulator::serial() const {
  std::lock_guard<std::mutex> guard(lock);
  return serialLocked();
}

std::string KelvoReaderEmulator::serialLocked() const {
  for (const auto& entry : table.state().descriptor) {
    if (entry.first == "Serial") return entry.second;
  }
  return {};
}

// Only changes reach the port, so a cable plugged in twice does not plug the device in twice.
void KelvoReaderEmulator::showOnUsbLocked() {
  const std::shared_ptr<KelvoReaderUsbPort> port = usbPort.lock();
  if (!port) return;
  using Presence = KelvoReaderUsbPort::Presence;
  const KelvoReaderState& state = table.state();
  Presence presence = Presence::none;
  if (state.usb != 0) {
    const bool inUsbBootloader = state.bootMode && *state.bootMode != kBootFromExternalFlash;
    presence = inUsbBootloader ? Presence::bootloader : Presence::reader;
  }
  if (presence == shownOnUsb) return;
  shownOnUsb = presence;
  port->show(serialLocked(), generation, presence);
}

void KelvoReaderEmulator::insertCard(std::vector<uint8_t> atr) {
  Effects effects;
  {
    std::lock_guard<std::mutex> guard(lock);
    ReaderOutbox outbox;
    table.insertCard(std::move(atr), outbox);
    collect(outbox, effects);
  }
  deliver(std::move(effects));
}

bool KelvoReaderEmulator::insertOwnCard() {
  Effects effects;
  bool inserted = false;
  {
    std::lock_guard<std::mutex> guard(lock);
    ReaderOutbox outbox;
    inserted = table.insertOwnCard(outbox);
    collect(outbox, effects);
  }
  deliver(std::move(effects));
  return inserted;
}

std::optional<PivApplication::Status> KelvoReaderEmulator::pivStatus() const {
  std::lock_guard<std::mutex> guard(lock);
  return table.pivStatus();
}

void KelvoReaderEmulator::removeCard() {
  Effects effects;
  {
    std::lock_guard<std::mutex> guard(lock);
    ReaderOutbox outbox;
    table.removeCard(outbox);
    collect(outbox, effects);
  }
  deliver(std::move(effects));
}

void KelvoReaderEmulator::setBatteryLevel(uint8_t level) {
  Effects effects;
  {
    std::lock_guard<std::mutex> guard(lock);
    ReaderOutbox outbox;
    table.setBattery(level, outbox);
    collect(outbox, effects);
  }
  deliver(std::move(effects));
}

void KelvoReaderEmulator::setUsbCable(uint8_t connected) {
  Effects effects;
  {
    std::lock_guard<std::mutex> guard(lock);
    ReaderOutbox outbox;
    table.setUsbCable(connected, outbox);
    collect(outbox, effects);
    showOnUsbLocked();
  }
  deliver(std::move(effects));
}

void KelvoReaderEmulator::changeSetting(uint8_t id, uint8_t value) {
  Effects effects;
  {
    std::lock_guard<std::mutex> guard(lock);
    ReaderOutbox outbox;
    table.changeSetting(id, value, outbox);
    collect(outbox, effects);
  }
  deliver(std::move(effects));
}

void KelvoReaderEmulator::sendNotification(std::vector<uint8_t> value) {
  std::lock_guard<std::mutex> guard(lock);
  sendLocked(kNotification, std::move(value));
}

void KelvoReaderEmulator::setQuirk(KelvoReaderQuirk quirk, bool enabled) {
  std::lock_guard<std::mutex> guard(lock);
  KelvoReaderState& state = table.state();
  if (enabled) {
    state.quirks.insert(quirk);
  } else {
    state.quirks.erase(quirk);
  }
  if (quirk == KelvoReaderQuirk::outOfRandom) state.randomExhausted = enabled;
}

void KelvoReaderEmulator::addFault(const KelvoReaderFault& fault) {
  std::lock_guard<std::mutex> guard(lock);
  faults.push_back(fault);
}

void KelvoReaderEmulator::clearFaults() {
  std::lock_guard<std::mutex> guard(lock);
  faults.clear();
}

void KelvoReaderEmulator::startRandomFaults(const KelvoReaderRandomFaults::Rates& rates) {
  std::lock_guard<std::mutex> guard(lock);
  randomFaults.emplace(rates);
}

std::optional<KelvoReaderRandomFaults::Tally> KelvoReaderEmulator::stopRandomFaults() {
  std::lock_guard<std::mutex> guard(lock);
  if (!randomFaults) return std::nullopt;
  KelvoReaderRandomFaults::Tally tally = randomFaults->tally();
  randomFaults.reset();
  return tally;
}

std::optional<KelvoReaderRandomFaults::Tally> KelvoReaderEmulator::randomFaultTally() const {
  std::lock_guard<std::mutex> guard(lock);
  if (!randomFaults) return std::nullopt;
  return randomFaults->tally();
}

void KelvoReaderEmulator::forgetLongTermKey() {
  std::lock_guard<std::mutex> guard(lock);
  crypto.forgetLongTermKey();
}

KelvoReaderState KelvoReaderEmulator::state() const {
  std::lock_guard<std::mutex> guard(lock);
  return table.state();
}

GattCounters KelvoReaderEmulator::counters() const { return gattCounters; }

void KelvoReaderEmulator::resetCounters() { gattCounters.reset(); }

std::vector<uint8_t> KelvoReaderEmulator::externalFlash(size_t offset, size_t length) const {
  std::lock_guard<std::mutex> guard(lock);
  std::vector<uint8_t> data(length, 0xFF);
  const std::vector<uint8_t>& flash = table.flash();
  for (size_t i = 0; i < length && offset + i < flash.size(); ++i) data[i] = flash[offset + i];
  return data;
}

std::optional<ReaderCipher::Key> KelvoReaderEmulator::longTermKey() const {
  std::lock_guard<std::mutex> guard(lock);
  return crypto.longTermKey();
}

bool KelvoReaderEmulator::hasSession() const {
  std::lock_guard<std::mutex> guard(lock);
  return crypto.hasSession();
}

std::optional<uint32_t> KelvoReaderEmulator::sessionCounter() const {
  std::lock_guard<std::mutex> guard(lock);
  return crypto.sessionCounter();
}

size_t KelvoReaderEmulator::packSize() const {
  std::lock_guard<std::mutex> guard(lock);
  return transfer.pack();
}

}  // namespace kelvo::simulator
