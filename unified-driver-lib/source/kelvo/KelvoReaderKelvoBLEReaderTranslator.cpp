// SPDX-License-Identifier: Apache-2.0
#include "trevalon/kelvo/KelvoReaderKelvoBLEReaderTranslator.h"

#include "trevalon/common/HexText.h"
#include "trevalon/common/Log.h"
#include "trevalon/common/ScopeTrace.h"
#include "trevalon/kelvo/KelvoNames.h"

namespace trevalon::kelvo {
namespace {

enum Method : uint8_t {
  kGetMethods = 0,
  kGetDeviceDescriptor = 1,
  kSCard = 2,
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
  kWriteExternalFlash = 20,
  kGotoBotloader = 22,
};

enum Command : uint8_t {
  kCommandForceBootMode = 4,
  kCommandSetSetting = 5,
};

enum Notification : uint8_t {
  kCardStatus = 1,
  kEncryptionSwitched = 3,
  kSettingChanged = 5,
  kUsbCableStatus = 6,
  kBatteryLevelChanged = 7,
};

// Readers without a method list know these.
const std::vector<uint8_t> kDefaultMethods = {1, 2, 3, 160, 4, 5, 8, 10, 11, 12, 13, 20, 21, 22};

bool isSettingId(uint8_t id) { return id >= 1 && id <= 15; }

uint8_t binaryStatusOf(uint8_t reported) { return reported <= 1 ? reported : 0xFF; }

}  // namespace

uint8_t KelvoReaderKelvoBLEReaderTranslator::cardStatusOf(uint8_t reported) {
  switch (reported) {
    case kCardAbsent:
    case kCardPresent:
    case kCardReady:
      return reported;
    default:
      return kCardUnknown;
  }
}

uint16_t KelvoReaderKelvoBLEReaderTranslator::minuteOfWeek(const std::tm& localTime) {
  return static_cast<uint16_t>((localTime.tm_wday * 24 + localTime.tm_hour) * 60 + localTime.tm_min);
}

TransmitResult KelvoReaderKelvoBLEReaderTranslator::call(uint8_t method, const std::vector<uint8_t>& payload) {
  std::shared_ptr<KelvoBLEReader> lower = getMaster();
  if (!lower) {
    TREVALON_LOG(error, "no reader below");
    return TransmitResult{};
  }
  return lower->transmit(method, payload, true);
}

bool KelvoReaderKelvoBLEReaderTranslator::storeSetting(uint8_t id, uint8_t value) {
  std::lock_guard<std::mutex> guard(cacheLock);
  settings[id] = value;
  return true;
}

uint8_t KelvoReaderKelvoBLEReaderTranslator::getSetting(uint8_t id) {
  TREVALON_TRACE_ARGS(std::to_string(id));
  bool empty;
  {
    std::lock_guard<std::mutex> guard(cacheLock);
    empty = settings.empty();
  }
  if (empty && !loadSettings()) {
    TREVALON_LOG(warning, "could not load settings");
  }
  std::lock_guard<std::mutex> guard(cacheLock);
  auto entry = settings.find(id);
  return entry == settings.end() ? 0xFF : entry->second;
}

bool KelvoReaderKelvoBLEReaderTranslator::setSetting(uint8_t id, uint8_t value) {
  TREVALON_TRACE_ARGS(std::to_string(id));
  const TransmitResult answer = call(kSetSettings, {id, value});
  if (answer.status == KelvoBLEReader::kStatusUnsupported) {
    // Older readers take settings as a one-way command only.
    std::shared_ptr<KelvoBLEReader> lower = getMaster();
    if (!lower || !lower->indicate(kCommandSetSetting, {id, value})) {
      return false;
    }
  } else if (answer.status != KelvoBLEReader::kStatusSuccess) {
    return false;
  }
  storeSetting(id, value);
  notifyObservers(&KelvoReaderObserver::onSettingChanged, id, value);
  return true;
}

std::string KelvoReaderKelvoBLEReaderTranslator::getDescriptor(const std::string& key) {
  TREVALON_TRACE_ARGS(key);
  bool empty;
  {
    std::lock_guard<std::mutex> guard(cacheLock);
    empty = descriptor.empty();
  }
  if (empty && !loadDescriptor()) {
    TREVALON_LOG(warning, "could not load descriptor");
  }
  std::lock_guard<std::mutex> guard(cacheLock);
  auto entry = descriptor.find(key);
  return entry == descriptor.end() ? std::string() : entry->second;
}

std::vector<uint8_t> KelvoReaderKelvoBLEReaderTranslator::getMethods() {
  TREVALON_TRACE();
  {
    std::lock_guard<std::mutex> guard(cacheLock);
    if (!methods.empty()) return methods;
  }
  const TransmitResult answer = call(kGetMethods, {});
  std::lock_guard<std::mutex> guard(cacheLock);
  if (answer.status == KelvoBLEReader::kStatusUnsupported) {
    methods = kDefaultMethods;
  }
  return methods;
}

WorkingTimeRanges KelvoReaderKelvoBLEReaderTranslator::getWorkingTimeRanges() {
  TREVALON_TRACE();
  const TransmitResult answer = call(kGetWorkingTimeRanges, {});
  std::optional<WorkingTimeRanges> ranges = WorkingTimeRanges::fromBytes(answer.payload);
  if (answer.status != KelvoBLEReader::kStatusSuccess || !ranges) {
    return WorkingTimeRanges::zero();
  }
  return *ranges;
}

bool KelvoReaderKelvoBLEReaderTranslator::setWorkingTimeRanges(const WorkingTimeRanges& ranges) {
  TREVALON_TRACE();
  return call(kSetWorkingTimeRanges, ranges.toBytes()).status == KelvoBLEReader::kStatusSuccess;
}

uint8_t KelvoReaderKelvoBLEReaderTranslator::getCardStatus() {
  TREVALON_TRACE();
  bool unknown;
  {
    std::lock_guard<std::mutex> guard(cacheLock);
    unknown = cardStatus == kCardUnknown;
  }
  if (unknown) {
    loadDeviceState();
  }
  std::lock_guard<std::mutex> guard(cacheLock);
  return cardStatus;
}

uint8_t KelvoReaderKelvoBLEReaderTranslator::getBatteryLevel() {
  TREVALON_TRACE();
  {
    std::lock_guard<std::mutex> guard(cacheLock);
    if (batteryLevel != 0xFF) return batteryLevel;
  }
  const TransmitResult answer = call(kGetBatteryLevel, {});
  std::lock_guard<std::mutex> guard(cacheLock);
  if (answer.status == KelvoBLEReader::kStatusSuccess && !answer.payload.empty()) {
    batteryLevel = answer.payload[0];
  }
  return batteryLevel;
}

uint8_t KelvoReaderKelvoBLEReaderTranslator::getUsbCableStatus() {
  TREVALON_TRACE();
  bool unknown;
  {
    std::lock_guard<std::mutex> guard(cacheLock);
    unknown = usbCableStatus == 0xFF;
  }
  if (unknown) {
    loadDeviceState();
  }
  std::lock_guard<std::mutex> guard(cacheLock);
  return usbCableStatus;
}

std::string KelvoReaderKelvoBLEReaderTranslator::getId() {
  TREVALON_TRACE();
  auto lower = getMaster();
  return lower ? lower->getId() : std::string();
}

std::string KelvoReaderKelvoBLEReaderTranslator::getAddress() {
  TREVALON_TRACE();
  auto lower = getMaster();
  return lower ? lower->getAddress() : std::string();
}

bool KelvoReaderKelvoBLEReaderTranslator::isAvailable() {
  TREVALON_TRACE();
  auto lower = getMaster();
  return lower && lower->isAvailable();
}

bool KelvoReaderKelvoBLEReaderTranslator::isConnected() {
  TREVALON_TRACE();
  auto lower = getMaster();
  return lower && lower->isConnected();
}

bool KelvoReaderKelvoBLEReaderTranslator::isPaired() {
  TREVALON_TRACE();
  auto lower = getMaster();
  return lower && lower->isPaired();
}

bool KelvoReaderKelvoBLEReaderTranslator::setPaired(bool paired) {
  TREVALON_TRACE();
  auto lower = getMaster();
  return lower && lower->setPaired(paired);
}

bool KelvoReaderKelvoBLEReaderTranslator::stateQuery() {
  TREVALON_TRACE();
  auto lower = getMaster();
  return lower && lower->stateQuery();
}

void KelvoReaderKelvoBLEReaderTranslator::loadBondedIfUnknown() {
  bool empty;
  {
    std::lock_guard<std::mutex> guard(cacheLock);
    empty = bonded.empty();
  }
  if (empty && !loadBonded()) {
    TREVALON_LOG(warning, "could not load bonded");
  }
}

std::list<std::string> KelvoReaderKelvoBLEReaderTranslator::getBonded() {
  TREVALON_TRACE();
  loadBondedIfUnknown();
  std::list<std::string> names;
  std::lock_guard<std::mutex> guard(cacheLock);
  for (const auto& entry : bonded) names.push_back(entry.second);
  return names;
}

std::string KelvoReaderKelvoBLEReaderTranslator::getPrefered() {
  TREVALON_TRACE();
  loadBondedIfUnknown();
  std::lock_guard<std::mutex> guard(cacheLock);
  auto entry = bonded.find(preferred);
  return entry == bonded.end() ? std::string() : entry->second;
}

TransmitResult KelvoReaderKelvoBLEReaderTranslator::command(uint8_t kind, const std::vector<uint8_t>& data) {
  TREVALON_TRACE_ARGS(std::string(KelvoNames::smartCard(kind)) + ", " + std::to_string(data.size()) + " bytes");
  std::vector<uint8_t> payload;
  payload.reserve(data.size() + 1);
  payload.push_back(kind);
  payload.insert(payload.end(), data.begin(), data.end());
  return call(kSCard, payload);
}

bool KelvoReaderKelvoBLEReaderTranslator::eraseBond(const std::string& name) {
  TREVALON_TRACE_ARGS(name);
  uint8_t index = 0xFF;
  {
    std::lock_guard<std::mutex> guard(cacheLock);
    for (const auto& entry : bonded) {
      if (entry.second == name) {
        index = entry.first;
        break;
      }
    }
  }
  if (index == 0xFF) {
    return false;
  }
  return call(kRemoveBondedDeviceByIndex, {index}).status == KelvoBLEReader::kStatusSuccess;
}

bool KelvoReaderKelvoBLEReaderTranslator::forceBootMode() {
  TREVALON_TRACE();
  const TransmitResult answer = call(kGotoBotloader, {0x00});
  if (answer.status == KelvoBLEReader::kStatusSuccess) {
    return true;
  }
  if (answer.status == KelvoBLEReader::kStatusUnsupported) {
    std::shared_ptr<KelvoBLEReader> lower = getMaster();
    return lower && lower->indicate(kCommandForceBootMode, {});
  }
  return false;
}

bool KelvoReaderKelvoBLEReaderTranslator::setClientName(const std::string& name) {
  TREVALON_TRACE_ARGS(name);
  if (name.empty()) {
    TREVALON_LOG(warning, "Name was empty");
    return false;
  }
  return call(kSetMobDeviceName, std::vector<uint8_t>(name.begin(), name.end())).status ==
         KelvoBLEReader::kStatusSuccess;
}

bool KelvoReaderKelvoBLEReaderTranslator::setLocalTime() {
  TREVALON_TRACE();
  const std::time_t now = std::time(nullptr);
  std::tm local{};
  localtime_r(&now, &local);
  const uint16_t minute = minuteOfWeek(local);
  return call(kSetLocalTime, {static_cast<uint8_t>(minute & 0xff), static_cast<uint8_t>(minute >> 8)}).status ==
         KelvoBLEReader::kStatusSuccess;
}

bool KelvoReaderKelvoBLEReaderTranslator::writeExternalFlash(const std::vector<uint8_t>& data) {
  TREVALON_TRACE();
  // The tail shorter than a chunk is written as a last, shorter chunk: dropping it would lose data while
  // reporting success.
  for (size_t offset = 0; offset < data.size(); offset += kFlashChunk) {
    const size_t length = std::min(kFlashChunk, data.size() - offset);
    std::vector<uint8_t> payload = {static_cast<uint8_t>(offset & 0xff), static_cast<uint8_t>((offset >> 8) & 0xff),
                                    static_cast<uint8_t>((offset >> 16) & 0xff), static_cast<uint8_t>(length & 0xff),
                                    static_cast<uint8_t>(length >> 8)};
    payload.insert(payload.end(), data.begin() + static_cast<std::ptrdiff_t>(offset),
                   data.begin() + static_cast<std::ptrdiff_t>(offset + length));
    const TransmitResult answer = call(kWriteExternalFlash, payload);
    if (answer.status != KelvoBLEReader::kStatusSuccess) {
      TREVALON_LOG(error, "Failed to write to external flash: 0x%hhX", answer.status);
      return false;
    }
  }
  return true;
}

bool KelvoReaderKelvoBLEReaderTranslator::loadDescriptor() {
  TREVALON_TRACE();
  const TransmitResult answer = call(kGetDeviceDescriptor, {});
  if (answer.status != KelvoBLEReader::kStatusSuccess || answer.payload.empty()) {
    return false;
  }
  const std::vector<uint8_t>& in = answer.payload;
  // Only the first L + 1 bytes belong to the descriptor, and none past the payload we have.
  const size_t end = std::min(static_cast<size_t>(in[0]) + 1, in.size());
  size_t at = 1;
  while (at < end) {
    if (at + 2 > end) {
      TREVALON_LOG(warning, "descriptor section header runs past the descriptor");
      return false;
    }
    const size_t sectionSize = in[at];
    const size_t keyLength = in[at + 1];
    if (at + 2 + keyLength + 1 > end) {
      TREVALON_LOG(warning, "descriptor key runs past the descriptor");
      return false;
    }
    const std::string key(in.begin() + static_cast<std::ptrdiff_t>(at + 2),
                          in.begin() + static_cast<std::ptrdiff_t>(at + 2 + keyLength));
    const size_t valueLength = in[at + 2 + keyLength];
    if (sectionSize != keyLength + 2 + valueLength) {
      TREVALON_LOG(warning, "section inconsistent size '%s': S=%zu K=%zu V=%zu", key.c_str(), sectionSize, keyLength,
                   valueLength);
      return false;
    }
    const size_t valueStart = at + 3 + keyLength;
    if (valueStart + valueLength > end) {
      TREVALON_LOG(warning, "descriptor value of '%s' runs past the descriptor", key.c_str());
      return false;
    }
    const std::vector<uint8_t> value(in.begin() + static_cast<std::ptrdiff_t>(valueStart),
                                     in.begin() + static_cast<std::ptrdiff_t>(valueStart + valueLength));
    std::string text;
    if (key == "MAC" || (key == "Serial" && valueLength == 5)) {
      text = common::HexText::of(value);
      TREVALON_LOG(info, "Read descriptor key BCD %s = %s", key.c_str(), text.c_str());
    } else {
      text.assign(value.begin(), value.end());
      TREVALON_LOG(info, "Read descriptor key %s = %s", key.c_str(), text.c_str());
    }
    {
      std::lock_guard<std::mutex> guard(cacheLock);
      descriptor[key] = text;
    }
    at = valueStart + valueLength;
  }
  return true;
}

bool KelvoReaderKelvoBLEReaderTranslator::loadSettings() {
  TREVALON_TRACE();
  const TransmitResult answer = call(kGetSettings, {});
  if (answer.status != KelvoBLEReader::kStatusSuccess) {
    return false;
  }
  std::lock_guard<std::mutex> guard(cacheLock);
  for (size_t at = 0; at + 2 <= answer.payload.size(); at += 2) {
    if (isSettingId(answer.payload[at])) {
      settings[answer.payload[at]] = answer.payload[at + 1];
    }
  }
  return true;
}

bool KelvoReaderKelvoBLEReaderTranslator::loadDeviceState() {
  TREVALON_TRACE();
  const TransmitResult answer = call(kGetDeviceState, {});
  if (answer.status != KelvoBLEReader::kStatusSuccess || answer.payload.size() < 4) {
    return false;
  }
  const uint8_t card = cardStatusOf(answer.payload[1]);
  const uint8_t battery = answer.payload[2];
  const uint8_t usb = binaryStatusOf(answer.payload[3]);
  bool cardChanged;
  bool batteryChanged;
  bool usbChanged;
  {
    std::lock_guard<std::mutex> guard(cacheLock);
    cardChanged = cardStatus != card;
    batteryChanged = batteryLevel != battery;
    usbChanged = usbCableStatus != usb;
    cardStatus = card;
    batteryLevel = battery;
    usbCableStatus = usb;
  }
  if (cardChanged) notifyObservers(&KelvoReaderObserver::onCardStatusChanged, card);
  if (batteryChanged) notifyObservers(&KelvoReaderObserver::onBatteryLevelChanged, battery);
  if (usbChanged) notifyObservers(&KelvoReaderObserver::onUsbCableStatusChanged, usb);
  return true;
}

bool KelvoReaderKelvoBLEReaderTranslator::loadBonded() {
  TREVALON_TRACE();
  const TransmitResult answer = call(kGetBondedDevices, {});
  if (answer.status != KelvoBLEReader::kStatusSuccess || answer.payload.empty()) {
    return false;
  }
  const std::vector<uint8_t>& in = answer.payload;
  std::map<uint8_t, std::string> names;
  size_t at = 1;
  while (at + 2 <= in.size()) {
    const uint8_t index = in[at];
    const size_t length = in[at + 1];
    if (at + 2 + length > in.size()) {
      TREVALON_LOG(warning, "bonded entry %i runs past the list", index);
      break;
    }
    const std::string name(in.begin() + static_cast<std::ptrdiff_t>(at + 2),
                           in.begin() + static_cast<std::ptrdiff_t>(at + 2 + length));
    TREVALON_LOG(info, "bonded %s", name.c_str());
    names[index] = name;
    at += 2 + length;
  }
  std::lock_guard<std::mutex> guard(cacheLock);
  bonded = std::move(names);
  preferred = in[0];
  return true;
}

void KelvoReaderKelvoBLEReaderTranslator::resetCache() {
  std::lock_guard<std::mutex> guard(cacheLock);
  usbCableStatus = 0xFF;
  cardStatus = kCardUnknown;
  batteryLevel = 0xFF;
  settings.clear();
  bonded.clear();
  preferred = 0xFF;
  descriptor.clear();
  methods.clear();
}

void KelvoReaderKelvoBLEReaderTranslator::onAvailableChanged(bool available) {
  TREVALON_TRACE_ARGS(available ? "true" : "false");
  if (available) {
    std::shared_ptr<KelvoBLEReader> lower = getMaster();
    if (!lower || !lower->updateMtu()) TREVALON_LOG(info, "Could not update MTU");
    if (!loadDescriptor()) TREVALON_LOG(info, "Could not load Descriptor");
    if (!loadSettings()) TREVALON_LOG(info, "Could not load Settings");
    if (!loadDeviceState()) TREVALON_LOG(info, "Could not load device state");
  } else {
    resetCache();
    notifyObservers(&KelvoReaderObserver::onCardStatusChanged, kCardUnknown);
  }
  notifyObservers(&KelvoReaderObserver::onAvailableChanged, available);
}

void KelvoReaderKelvoBLEReaderTranslator::onConnectedChanged(bool connected) {
  TREVALON_TRACE_ARGS(connected ? "true" : "false");
  if (!connected) {
    resetCache();
    notifyObservers(&KelvoReaderObserver::onCardStatusChanged, kCardUnknown);
  }
  notifyObservers(&KelvoReaderObserver::onConnectedChanged, connected);
}

void KelvoReaderKelvoBLEReaderTranslator::onActiveEncryptionChanged(uint8_t /*state*/) { TREVALON_TRACE(); }

void KelvoReaderKelvoBLEReaderTranslator::onPairedChanged(bool paired) {
  TREVALON_TRACE();
  notifyObservers(&KelvoReaderObserver::onPairedChanged, paired);
}

void KelvoReaderKelvoBLEReaderTranslator::onEvent(uint32_t value) {
  TREVALON_TRACE();
  notifyObservers(&KelvoReaderObserver::onEvent, value);
}

void KelvoReaderKelvoBLEReaderTranslator::notified(uint8_t id, std::vector<uint8_t> data) {
  TREVALON_TRACE_ARGS(std::to_string(id));
  switch (id) {
    case kCardStatus:
      if (!data.empty()) {
        const uint8_t status = cardStatusOf(data[0]);
        {
          std::lock_guard<std::mutex> guard(cacheLock);
          cardStatus = status;
        }
        notifyObservers(&KelvoReaderObserver::onCardStatusChanged, status);
      }
      break;
    case kEncryptionSwitched:
      if (!data.empty()) {
        notifyObservers(&KelvoReaderObserver::onEncryptionChanged, binaryStatusOf(data[0]));
      }
      break;
    case kSettingChanged:
      if (data.size() >= 2) {
        const uint8_t settingId = isSettingId(data[0]) ? data[0] : 0xFF;
        // Ids the reader does not define are reported but never cached.
        if (settingId != 0xFF) storeSetting(settingId, data[1]);
        notifyObservers(&KelvoReaderObserver::onSettingChanged, settingId, data[1]);
      }
      break;
    case kUsbCableStatus:
      if (!data.empty()) {
        const uint8_t status = binaryStatusOf(data[0]);
        {
          std::lock_guard<std::mutex> guard(cacheLock);
          usbCableStatus = status;
        }
        notifyObservers(&KelvoReaderObserver::onUsbCableStatusChanged, status);
      }
      break;
    case kBatteryLevelChanged:
      if (!data.empty() && data[0] <= 100) {
        {
          std::lock_guard<std::mutex> guard(cacheLock);
          batteryLevel = data[0];
        }
        notifyObservers(&KelvoReaderObserver::onBatteryLevelChanged, data[0]);
      }
      break;
    default:
      TREVALON_LOG(warning, "Notification 0x%X", id);
      break;
  }
}

}  // namespace trevalon::kelvo
