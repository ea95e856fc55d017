// SPDX-License-Identifier: Apache-2.0
#include "kelvo/simulator/kelvo/KelvoReaderRpcTable.h"

#include <algorithm>
#include <cctype>

namespace kelvo::simulator {
namespace {

using Payload = std::vector<uint8_t>;

enum Method : uint8_t {
  kGetMethods = 0,
  kGetDeviceDescriptor = 1,
  kSCard = 2,
  kExchangeKey = 3,
  kSetMobDeviceName = 4,
  kGetBatteryLevel = 5,
  kGetSettings = 8,
  kSetSettings = 9,
  kSetLocalTime = 10,
  kGetWorkingTimeRanges = 11,
  kSetWorkingTimeRanges = 12,
  kGetDeviceState = 13,
  kGetBondedDevices = 14,
  kRemoveBondedDeviceByIndex = 15,
  kMaxRequestSize = 16,
  kGetBatteryState = 17,
  kWriteExternalFlash = 20,
  kReadExternalFlash = 21,
  kGotoBotloader = 22,
  kSetResponsePacketDataSize = 67,
  kExchangeSessionKey = 160,
  kGetRandomBytes = 240,
};

enum Notification : uint8_t {
  kCardStatus = 1,
  kEncryptionSwitched = 3,
  kBatteryAlert = 4,
  kSettingChanged = 5,
  kUsbCableStatus = 6,
  kBatteryLevelChanged = 7,
};

enum Command : uint8_t {
  kRepeatCardStatus = 1,
  kStopMobDeviceSearching = 2,
  kRepeatEncryptionStatus = 3,
  kForceBootMode = 4,
  kSetSetting = 5,
  kRepeatUsbCableStatus = 6,
  kSaveEncryptionKey = 7,
  kPostDisconnection = 8,
};

enum CardKind : uint8_t { kReset = 1, kTpduLow = 2, kTpduHigh = 3, kShutdown = 4, kApdu = 5 };

constexpr uint8_t kEncryptionSetting = 7;
constexpr uint8_t kFirstSetting = 1;
constexpr uint8_t kLastSetting = 15;
constexpr int kMinutesPerWeek = 7 * 24 * 60;
constexpr size_t kMaxClientName = 32;
constexpr size_t kMaxRandomBytes = 64;
constexpr size_t kRangesLength = 28;

Payload answer(uint8_t status, const Payload& data = {}) {
  Payload response{status};
  response.insert(response.end(), data.begin(), data.end());
  return response;
}

uint32_t littleEndian(const Payload& data, size_t at, size_t width) {
  uint32_t value = 0;
  for (size_t i = 0; i < width; ++i) value |= static_cast<uint32_t>(data[at + i]) << (8 * i);
  return value;
}

bool isDigits(const std::string& text, size_t count) {
  return text.size() == count && std::all_of(text.begin(), text.end(), [](char c) { return c >= '0' && c <= '9'; });
}

bool isHex(const std::string& text, size_t count) {
  return text.size() == count && std::all_of(text.begin(), text.end(), [](char c) {
           return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F');
         });
}

// Two digits per byte, high nibble first: a ten-digit serial fits 5 bytes, an address 6.
Payload packDigits(const std::string& text) {
  auto nibble = [](char c) -> uint8_t {
    if (c >= '0' && c <= '9') return static_cast<uint8_t>(c - '0');
    if (c >= 'a' && c <= 'f') return static_cast<uint8_t>(c - 'a' + 10);
    return static_cast<uint8_t>(c - 'A' + 10);
  };
  Payload packed;
  for (size_t i = 0; i + 1 < text.size(); i += 2) {
    packed.push_back(static_cast<uint8_t>(nibble(text[i]) << 4 | nibble(text[i + 1])));
  }
  return packed;
}

}  // namespace

KelvoReaderRpcTable::KelvoReaderRpcTable(const KelvoReaderConfig& config, KelvoReaderLinkCrypto& crypto,
                                         KelvoReaderPacketTransfer& transfer)
    : crypto(crypto), transfer(transfer), slot(config.cardAtr, config.cardPiv) {
  const KelvoReaderConfig complete = config.withDefaults();
  current.address = complete.address;
  std::transform(current.address.begin(), current.address.end(), current.address.begin(),
                 [](char c) { return static_cast<char>(std::tolower(c)); });
  current.generation = complete.generation;
  current.descriptor = complete.descriptor;
  current.battery = complete.battery;
  current.usb = complete.usb;
  current.settings = complete.settings;
  current.ranges = complete.ranges;
  for (const ReaderBond& bond : complete.bonds) current.bonds[bond.index] = bond.name;
  current.preferred = complete.preferred;
  current.quirks = complete.quirks;
  current.randomExhausted = complete.quirks.count(KelvoReaderQuirk::outOfRandom) != 0;
  current.maxRequestSize = complete.maxRequestSize;
  current.negotiatedPack = std::min(complete.negotiatedPack, KelvoReaderPacketTransfer::kMaxPack);
  current.flashSize = complete.flashSize;
  current.batteryAlertLevel = complete.batteryAlertLevel;
  if (slot.card()) {
    cardPowered = true;
    current.cardStatus = KelvoReaderState::kCardReady;
  }
}

const std::map<uint8_t, KelvoReaderRpcTable::Handler>& KelvoReaderRpcTable::handlers() {
  static const std::map<uint8_t, Handler> table = {
      {kGetMethods, &KelvoReaderRpcTable::getMethods},
      {kGetDeviceDescriptor, &KelvoReaderRpcTable::getDescriptor},
      {kSCard, &KelvoReaderRpcTable::smartCard},
      {kExchangeKey, &KelvoReaderRpcTable::exchangeKey},
      {kSetMobDeviceName, &KelvoReaderRpcTable::setClientName},
      {kGetBatteryLevel, &KelvoReaderRpcTable::getBatteryLevel},
      {kGetSettings, &KelvoReaderRpcTable::getSettings},
      {kSetSettings, &KelvoReaderRpcTable::setSettings},
      {kSetLocalTime, &KelvoReaderRpcTable::setLocalTime},
      {kGetWorkingTimeRanges, &KelvoReaderRpcTable::getRanges},
      {kSetWorkingTimeRanges, &KelvoReaderRpcTable::setRanges},
      {kGetDeviceState, &KelvoReaderRpcTable::getDeviceState},
      {kGetBondedDevices, &KelvoReaderRpcTable::getBonds},
      {kRemoveBondedDeviceByIndex, &KelvoReaderRpcTable::removeBond},
      {kMaxRequestSize, &KelvoReaderRpcTable::maxRequestSize},
      {kGetBatteryState, &KelvoReaderRpcTable::getBatteryState},
      {kWriteExternalFlash, &KelvoReaderRpcTable::writeFlash},
      {kReadExternalFlash, &KelvoReaderRpcTable::readFlash},
      {kGotoBotloader, &KelvoReaderRpcTable::gotoBootloader},
      {kSetResponsePacketDataSize, &KelvoReaderRpcTable::setPackageSize},
      {kExchangeSessionKey, &KelvoReaderRpcTable::exchangeSessionKey},
      {kGetRandomBytes, &KelvoReaderRpcTable::getRandomBytes},
  };
  return table;
}

bool KelvoReaderRpcTable::disabledByQuirk(uint8_t method) const {
  switch (method) {
    case kSetSettings:
      return current.has(KelvoReaderQuirk::noSetSettings);
    case kGotoBotloader:
      return current.has(KelvoReaderQuirk::noBootloaderRpc);
    case kExchangeSessionKey:
      return current.has(KelvoReaderQuirk::noSessionKey);
    case kMaxRequestSize:
      return current.has(KelvoReaderQuirk::noMaxRequestSize);
    case kGetDeviceState:
      return current.has(KelvoReaderQuirk::noStateRequest);
    default:
      return false;
  }
}

std::vector<uint8_t> KelvoReaderRpcTable::supportedMethods() const {
  std::vector<uint8_t> methods;
  for (const auto& entry : handlers()) {
    if (!disabledByQuirk(entry.first)) methods.push_back(entry.first);
  }
  return methods;
}

std::vector<uint8_t> KelvoReaderRpcTable::handle(const std::vector<uint8_t>& request, ReaderOutbox& outbox) {
  if (request.empty()) return answer(kError);
  const uint8_t method = request.front();
  auto handler = handlers().find(method);
  if (handler == handlers().end() || disabledByQuirk(method)) return answer(kUnknownMethod);
  return handler->second(*this, Payload(request.begin() + 1, request.end()), outbox);
}

void KelvoReaderRpcTable::command(const std::vector<uint8_t>& frame, ReaderOutbox& outbox) {
  if (frame.empty()) return;
  switch (frame.front()) {
    case kRepeatCardStatus:
      outbox.notifications.push_back({kCardStatus, current.cardStatus});
      break;
    case kRepeatEncryptionStatus:
      outbox.notifications.push_back({kEncryptionSwitched, current.setting(kEncryptionSetting)});
      break;
    case kRepeatUsbCableStatus:
      outbox.notifications.push_back({kUsbCableStatus, current.usb});
      break;
    case kForceBootMode:
      outbox.bootMode = frame.size() > 1 ? frame[1] : 0;
      break;
    case kSetSetting:
      if (frame.size() == 3 && frame[1] >= kFirstSetting && frame[1] <= kLastSetting) {
        changeSetting(frame[1], frame[2], outbox);
      }
      break;
    case kSaveEncryptionKey:
      crypto.saveKey();
      break;
    case kPostDisconnection:
      outbox.reconnect = true;
      break;
    case kStopMobDeviceSearching:
    default:
      break;
  }
}

void KelvoReaderRpcTable::changeSetting(uint8_t id, uint8_t value, ReaderOutbox& outbox) {
  const bool changed = current.setting(id) != value || current.settings.count(id) == 0;
  current.settings[id] = value;
  if (!changed) return;
  outbox.notifications.push_back({kSettingChanged, id, value});
  if (id == kEncryptionSetting) outbox.notifications.push_back({kEncryptionSwitched, value});
}

void KelvoReaderRpcTable::setCardStatus(uint8_t status, ReaderOutbox& outbox) {
  if (current.cardStatus == status) return;
  current.cardStatus = status;
  outbox.notifications.push_back({kCardStatus, status});
}

void KelvoReaderRpcTable::insertCard(std::vector<uint8_t> atr, ReaderOutbox& outbox) {
  slot.insert(std::move(atr));
  cardInserted(outbox);
}

bool KelvoReaderRpcTable::insertOwnCard(ReaderOutbox& outbox) {
  if (!slot.insertOwn()) return false;
  cardInserted(outbox);
  return true;
}

void KelvoReaderRpcTable::cardInserted(ReaderOutbox& outbox) {
  cardPowered = false;
  setCardStatus(KelvoReaderState::kCardPresent, outbox);
  // The reader powers a new card by itself and reports it ready.
  cardPowered = true;
  setCardStatus(KelvoReaderState::kCardReady, outbox);
}

void KelvoReaderRpcTable::removeCard(ReaderOutbox& outbox) {
  slot.remove();
  cardPowered = false;
  setCardStatus(KelvoReaderState::kCardAbsent, outbox);
}

void KelvoReaderRpcTable::setBattery(uint8_t level, ReaderOutbox& outbox) {
  const uint8_t before = current.battery;
  current.battery = level;
  outbox.notifications.push_back({kBatteryLevelChanged, level});
  if (level <= current.batteryAlertLevel && before > current.batteryAlertLevel) {
    outbox.notifications.push_back({kBatteryAlert, level});
  }
}

void KelvoReaderRpcTable::setUsbCable(uint8_t connected, ReaderOutbox& outbox) {
  current.usb = connected;
  outbox.notifications.push_back({kUsbCableStatus, connected});
}

bool KelvoReaderRpcTable::takeRandomExhaustion() {
  const bool exhausted = current.randomExhausted;
  current.randomExhausted = false;
  return exhausted;
}

Payload KelvoReaderRpcTable::getMethods(const Payload&, ReaderOutbox&) { return answer(kOk, supportedMethods()); }

Payload KelvoReaderRpcTable::sectionOf(const std::string& key, const std::string& value) const {
  Payload packed;
  if (key == "MAC" && isHex(value, 12)) {
    // A Bluetooth address travels least significant byte first, as the controller keeps it.
    packed = packDigits(value);
    std::reverse(packed.begin(), packed.end());
  } else if (key == "Serial" && current.generation < 2 && isDigits(value, 10)) {
    packed = packDigits(value);
  } else {
    packed.assign(value.begin(), value.end());
  }
  const size_t keyLength = std::min<size_t>(key.size(), 100);
  const size_t valueLength = std::min<size_t>(packed.size(), 100);
  Payload section{static_cast<uint8_t>(keyLength + 2 + valueLength), static_cast<uint8_t>(keyLength)};
  section.insert(section.end(), key.begin(), key.begin() + static_cast<long>(keyLength));
  section.push_back(static_cast<uint8_t>(valueLength));
  section.insert(section.end(), packed.begin(), packed.begin() + static_cast<long>(valueLength));
  return section;
}

Payload KelvoReaderRpcTable::getDescriptor(const Payload&, ReaderOutbox&) {
  Payload sections;
  for (const auto& item : current.descriptor) {
    Payload section = sectionOf(item.first, item.second);
    // The length byte counts every section; items that would not fit are left out.
    if (sections.size() + section.size() > 0xFF) continue;
    sections.insert(sections.end(), section.begin(), section.end());
  }
  Payload payload{static_cast<uint8_t>(sections.size())};
  payload.insert(payload.end(), sections.begin(), sections.end());
  return answer(kOk, payload);
}

Payload KelvoReaderRpcTable::smartCard(const Payload& payload, ReaderOutbox& outbox) {
  EmulatedCard* card = slot.card();
  if (payload.empty() || !card) return answer(kError);
  const Payload data(payload.begin() + 1, payload.end());
  switch (payload.front()) {
    case kReset:
      card->reset();
      cardPowered = true;
      setCardStatus(KelvoReaderState::kCardReady, outbox);
      return answer(kOk, card->atr());
    case kShutdown:
      cardPowered = false;
      setCardStatus(KelvoReaderState::kCardPresent, outbox);
      return answer(kOk);
    case kTpduLow:
    case kTpduHigh:
    case kApdu:
      if (!cardPowered) return answer(kError);
      return answer(kOk, card->transmit(data));
    default:
      return answer(kError);
  }
}

Payload KelvoReaderRpcTable::exchangeKey(const Payload& payload, ReaderOutbox&) {
  if (current.has(KelvoReaderQuirk::keyLocked)) return answer(7);
  if (payload.size() != 64) return answer(kError);
  if (takeRandomExhaustion()) return answer(kExtendedFailure, {kExtendedOutOfRandom});
  Payload reply;
  switch (crypto.exchangeKey(payload, reply)) {
    case KelvoReaderLinkCrypto::AgreementResult::done:
      return answer(kOk, reply);
    case KelvoReaderLinkCrypto::AgreementResult::noRandom:
      return answer(kExtendedFailure, {kExtendedOutOfRandom});
    case KelvoReaderLinkCrypto::AgreementResult::malformed:
    default:
      return answer(kExtendedFailure, {kExtendedGeneral});
  }
}

Payload KelvoReaderRpcTable::exchangeSessionKey(const Payload& payload, ReaderOutbox&) {
  if (current.has(KelvoReaderQuirk::noSessionKey7)) return answer(7);
  if (payload.size() != 21) return answer(kError);
  if (takeRandomExhaustion()) return answer(kExtendedFailure, {kExtendedOutOfRandom});
  Payload reply;
  switch (crypto.exchangeSessionKey(payload, reply)) {
    case KelvoReaderLinkCrypto::SessionResult::done:
      return answer(kOk, reply);
    case KelvoReaderLinkCrypto::SessionResult::noLongTermKey:
      return answer(KelvoReaderLinkCrypto::kStatusNoLongTerm);
    case KelvoReaderLinkCrypto::SessionResult::noRandom:
      return answer(kExtendedFailure, {kExtendedOutOfRandom});
    case KelvoReaderLinkCrypto::SessionResult::malformed:
    default:
      return answer(kError);
  }
}

Payload KelvoReaderRpcTable::setClientName(const Payload& payload, ReaderOutbox&) {
  if (payload.empty() || payload.size() > kMaxClientName) return answer(kError);
  current.clientName.assign(payload.begin(), payload.end());
  return answer(kOk);
}

Payload KelvoReaderRpcTable::getBatteryLevel(const Payload&, ReaderOutbox&) { return answer(kOk, {current.battery}); }

Payload KelvoReaderRpcTable::getBatteryState(const Payload&, ReaderOutbox&) {
  return answer(kOk, {current.battery, current.usb});
}

Payload KelvoReaderRpcTable::getSettings(const Payload&, ReaderOutbox&) {
  Payload pairs;
  for (const auto& setting : current.settings) {
    pairs.push_back(setting.first);
    pairs.push_back(setting.second);
  }
  return answer(kOk, pairs);
}

Payload KelvoReaderRpcTable::setSettings(const Payload& payload, ReaderOutbox& outbox) {
  if (payload.size() != 2 || payload[0] < kFirstSetting || payload[0] > kLastSetting) return answer(kError);
  changeSetting(payload[0], payload[1], outbox);
  return answer(kOk);
}

Payload KelvoReaderRpcTable::setLocalTime(const Payload& payload, ReaderOutbox&) {
  if (payload.size() != 2) return answer(kError);
  const uint32_t minute = littleEndian(payload, 0, 2);
  if (minute >= kMinutesPerWeek) return answer(kError);
  current.localTime = static_cast<uint16_t>(minute);
  return answer(kOk);
}

Payload KelvoReaderRpcTable::getRanges(const Payload&, ReaderOutbox&) {
  Payload data;
  for (const auto& range : current.ranges) {
    for (int16_t value : {range.first, range.second}) {
      data.push_back(static_cast<uint8_t>(value & 0xFF));
      data.push_back(static_cast<uint8_t>((value >> 8) & 0xFF));
    }
  }
  return answer(kOk, data);
}

Payload KelvoReaderRpcTable::setRanges(const Payload& payload, ReaderOutbox&) {
  if (payload.size() != kRangesLength) return answer(kError);
  std::array<std::pair<int16_t, int16_t>, 7> ranges{};
  for (size_t day = 0; day < ranges.size(); ++day) {
    const auto start = static_cast<int16_t>(littleEndian(payload, day * 4, 2));
    const auto end = static_cast<int16_t>(littleEndian(payload, day * 4 + 2, 2));
    for (int16_t value : {start, end}) {
      if (value < -1 || value >= kMinutesPerWeek) return answer(kError);
    }
    ranges[day] = {start, end};
  }
  current.ranges = ranges;
  return answer(kOk);
}

// The card's ATR number (two bytes, least significant first) closes the answer; the emulated cards have none (0).
Payload KelvoReaderRpcTable::getDeviceState(const Payload&, ReaderOutbox&) {
  return answer(kOk, {current.setting(kEncryptionSetting), current.cardStatus, current.battery, current.usb, 0, 0});
}

Payload KelvoReaderRpcTable::getBonds(const Payload&, ReaderOutbox&) {
  Payload data{current.preferred};
  for (const auto& bond : current.bonds) {
    const size_t length = std::min<size_t>(bond.second.size(), 0xFF);
    data.push_back(bond.first);
    data.push_back(static_cast<uint8_t>(length));
    data.insert(data.end(), bond.second.begin(), bond.second.begin() + static_cast<long>(length));
  }
  return answer(kOk, data);
}

Payload KelvoReaderRpcTable::removeBond(const Payload& payload, ReaderOutbox&) {
  if (payload.size() != 1 || current.bonds.erase(payload[0]) == 0) return answer(kError);
  if (current.preferred == payload[0]) current.preferred = 0xFF;
  return answer(kOk);
}

Payload KelvoReaderRpcTable::maxRequestSize(const Payload&, ReaderOutbox&) {
  // Asking for the request size is the host's sign that the link has its larger MTU: answers grow with it.
  transfer.setPack(std::max(transfer.pack(), current.negotiatedPack));
  return answer(kOk, {static_cast<uint8_t>(current.maxRequestSize), static_cast<uint8_t>(current.maxRequestSize >> 8)});
}

Payload KelvoReaderRpcTable::setPackageSize(const Payload& payload, ReaderOutbox&) {
  if (payload.empty() || payload.size() > 2) return answer(kError);
  const size_t size = littleEndian(payload, 0, payload.size());
  if (size == 0 || size > KelvoReaderPacketTransfer::kMaxPack) return answer(kError);
  transfer.setPack(size);
  return answer(kOk);
}

Payload KelvoReaderRpcTable::writeFlash(const Payload& payload, ReaderOutbox&) {
  // Without arguments the request is the host's probe for over-the-air updates.
  if (payload.empty()) return answer(kOk);
  size_t offset = 0;
  size_t headerLength = 0;
  // The application's layout (32-bit offset) wins where both would fit the same bytes.
  if (payload.size() >= 6 && littleEndian(payload, 4, 2) == payload.size() - 6) {
    offset = littleEndian(payload, 0, 4);
    headerLength = 6;
  } else if (payload.size() >= 5 && littleEndian(payload, 3, 2) == payload.size() - 5) {
    offset = littleEndian(payload, 0, 3);
    headerLength = 5;
  } else {
    return answer(kError);
  }
  const size_t length = payload.size() - headerLength;
  if (offset > current.flashSize || length > current.flashSize - offset) return answer(kError);
  if (flashMemory.size() < offset + length) flashMemory.resize(offset + length, 0xFF);
  std::copy(payload.begin() + static_cast<long>(headerLength), payload.end(),
            flashMemory.begin() + static_cast<long>(offset));
  return answer(kOk);
}

Payload KelvoReaderRpcTable::readFlash(const Payload& payload, ReaderOutbox&) {
  size_t offset = 0;
  size_t length = 0;
  if (payload.size() == 6) {
    offset = littleEndian(payload, 0, 4);
    length = littleEndian(payload, 4, 2);
  } else if (payload.size() == 5) {
    offset = littleEndian(payload, 0, 3);
    length = littleEndian(payload, 3, 2);
  } else {
    return answer(kError);
  }
  // The answer carries a status byte as well and must still fit a 16-bit size.
  if (length == 0 || length > 0xFFFE || offset > current.flashSize || length > current.flashSize - offset) {
    return answer(kError);
  }
  Payload data(length, 0xFF);
  for (size_t i = 0; i < length && offset + i < flashMemory.size(); ++i) data[i] = flashMemory[offset + i];
  return answer(kOk, data);
}

Payload KelvoReaderRpcTable::gotoBootloader(const Payload& payload, ReaderOutbox& outbox) {
  if (payload.size() > 1) return answer(kError);
  outbox.bootMode = payload.empty() ? 0 : payload[0];
  return answer(kOk);
}

Payload KelvoReaderRpcTable::getRandomBytes(const Payload& payload, ReaderOutbox&) {
  if (payload.size() != 1 || payload[0] == 0 || payload[0] > kMaxRandomBytes) return answer(kError);
  std::optional<std::vector<uint8_t>> bytes = ReaderCipher::randomBytes(payload[0]);
  if (!bytes) return answer(kExtendedFailure, {kExtendedOutOfRandom});
  return answer(kOk, *bytes);
}

}  // namespace kelvo::simulator
