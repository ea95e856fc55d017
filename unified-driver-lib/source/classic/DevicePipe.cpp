// SPDX-License-Identifier: Apache-2.0
#include "trevalon/classic/DevicePipe.h"

#include <cstring>

#include "trevalon/ReaderCache.h"
#include "trevalon/ReaderCardStateProxy.h"
#include "trevalon/ReaderKelvoReaderTranslator.h"
#include "trevalon/Slot.h"
#include "trevalon/common/NamedLock.h"
#include "trevalon/common/ScopeTrace.h"
#include "trevalon/kelvo/KelvoBLEReaderCryptoProxy.h"
#include "trevalon/kelvo/KelvoBLEReaderKelvoBLECharacteristscsTranslator.h"
#include "trevalon/kelvo/KelvoNames.h"
#include "trevalon/kelvo/KelvoReaderKelvoBLEReaderTranslator.h"

namespace trevalon::classic {
namespace {

constexpr uint8_t kGetDeviceDescriptor = 1;

// The layer below `layer`, if it is of the expected type: a stack of another family, or a layer let go, ends
// the walk down with an empty pointer.
template <typename Expected, typename Layer>
std::shared_ptr<Expected> lowerAs(const std::shared_ptr<Layer>& layer) {
  return layer ? std::dynamic_pointer_cast<Expected>(layer->getMaster()) : nullptr;
}

// The Kelvo reader functions under a generic stack: cache, card-state proxy, Kelvo translator.
std::shared_ptr<kelvo::KelvoReaderKelvoBLEReaderTranslator> readerFunctionsOf(const std::shared_ptr<Device>& device) {
  std::shared_ptr<ReaderCache> cache = std::dynamic_pointer_cast<ReaderCache>(device);
  std::shared_ptr<ReaderCardStateProxy> cardState = lowerAs<ReaderCardStateProxy>(cache);
  std::shared_ptr<ReaderKelvoReaderTranslator> translator = lowerAs<ReaderKelvoReaderTranslator>(cardState);
  return lowerAs<kelvo::KelvoReaderKelvoBLEReaderTranslator>(translator);
}

std::shared_ptr<kelvo::KelvoBLEReaderCryptoProxy> linkEncryptionOf(const std::shared_ptr<Device>& device) {
  return lowerAs<kelvo::KelvoBLEReaderCryptoProxy>(readerFunctionsOf(device));
}

std::shared_ptr<kelvo::KelvoBLECharacteristscs> characteristicsOf(const std::shared_ptr<Device>& device) {
  auto packets = lowerAs<kelvo::KelvoBLEReaderKelvoBLECharacteristscsTranslator>(linkEncryptionOf(device));
  return packets ? packets->getMaster() : nullptr;
}

void putLittleEndian16(std::vector<uint8_t>& record, size_t at, int16_t value) {
  const auto bits = static_cast<uint16_t>(value);
  record[at] = static_cast<uint8_t>(bits & 0xFF);
  record[at + 1] = static_cast<uint8_t>(bits >> 8);
}

}  // namespace

// The lock is named after the reader's address; a device that has gone entirely still gets one lock name.
#define TREVALON_DEVICE_LOCK(device) TREVALON_NAMED_LOCK(deviceLock, (device) ? (device)->getAddress() : std::string())

bool DevicePipe::isRefusedMethod(uint8_t method) {
  switch (method) {
    case 2:    // SCard: the card is reached through the card interface, under its state machine
    case 3:    // ExchangeKey
    case 4:    // SetMobDeviceName
    case 10:   // SetLocalTime
    case 16:   // MaxRequestSize
    case 71:   // GetRSSIStats
    case 160:  // ExchangeSessionKey
    case 255:  // EncryptionMarker
      return true;
    default:
      return std::strcmp(kelvo::KelvoNames::method(method), "Unknown") == 0;
  }
}

uint8_t DevicePipe::cardStatusOf(uint8_t cardState) {
  switch (cardState) {
    case kCardUnknown:
    case kCardAbsent:
      return 1;
    case kCardUnidentified:
      return 2;
    default:
      return 6;
  }
}

uint8_t DevicePipe::InvokeGetDeviceDescriptor(const std::shared_ptr<Device>& device, std::vector<uint8_t>& descriptor) {
  TREVALON_TRACE();
  TREVALON_DEVICE_LOCK(device);
  std::shared_ptr<kelvo::KelvoBLEReader> encrypted = lowerAs<kelvo::KelvoBLEReader>(readerFunctionsOf(device));
  if (!encrypted) {
    return kRefused;
  }
  kelvo::TransmitResult answer = encrypted->transmit(kGetDeviceDescriptor, {}, true);
  descriptor = std::move(answer.payload);
  return answer.status == kelvo::KelvoBLEReader::kStatusSuccess ? kSuccess : kReaderError;
}

uint8_t DevicePipe::InvokeGetDeviceState(const std::shared_ptr<Device>& device, std::vector<uint8_t>& record) {
  TREVALON_TRACE();
  if (!device) {
    return kRefused;
  }
  TREVALON_DEVICE_LOCK(device);
  record.assign(kDeviceStateSize, 0);
  record[0] = device->isAvailable() ? 1 : 0;
  const std::list<std::shared_ptr<Slot>> slots = device->getSlots();
  record[1] =
      cardStatusOf(slots.empty() || !slots.front() ? static_cast<CardState>(kCardUnknown) : slots.front()->getState());
  record[2] = device->getBatteryLevel();
  record[3] = 1;  // the link is always encrypted
  // bytes 4 and 5: the card's ATR number, not kept by this reader model
  record[6] = device->getUsbCableStatus();
  record[7] = 1;
  record[8] = device->getSignalStrength();
  record[9] = device->getAdvertisingMode();
  record[10] = device->getDisplayMode();
  record[11] = device->getBackLight();
  record[12] = 0;  // contrast: not a setting of the generic reader
  record[13] = device->getBuzzerMode();
  record[14] = device->getEncryption();
  record[15] = device->getRssiMinValue();
  const kelvo::WorkingTimeRanges ranges = device->getWorkingTimeRanges();
  size_t at = 16;
  for (const kelvo::WorkingTimeRange& day : ranges.days) {
    putLittleEndian16(record, at, day.start);
    putLittleEndian16(record, at + 2, day.end);
    at += 4;
  }
  return kSuccess;
}

uint8_t DevicePipe::InvokeIndicate(const std::shared_ptr<Device>& device, const std::vector<uint8_t>& request) {
  TREVALON_TRACE();
  TREVALON_DEVICE_LOCK(device);
  std::shared_ptr<kelvo::KelvoBLECharacteristscs> characteristics = characteristicsOf(device);
  if (!characteristics || request.empty()) {
    return kRefused;
  }
  // Commands bypass the link encryption and the packet layer: the reader takes them as they are.
  return characteristics->writeIndicate(request) ? kSuccess : kRefused;
}

uint8_t DevicePipe::InvokeSetSetting(const std::shared_ptr<Device>& device, const std::vector<uint8_t>& request) {
  TREVALON_TRACE();
  TREVALON_DEVICE_LOCK(device);
  std::shared_ptr<kelvo::KelvoReader> functions = readerFunctionsOf(device);
  if (!functions || request.size() != 2) {
    return kRefused;
  }
  const uint8_t id = request[0] >= 1 && request[0] <= 15 ? request[0] : 0xFF;
  return functions->setSetting(id, request[1]) ? kSuccess : kRefused;
}

uint8_t DevicePipe::InvokeSetWorkingTimeRanges(const std::shared_ptr<Device>& device,
                                               const std::vector<uint8_t>& request) {
  TREVALON_TRACE();
  if (!device) {
    return kRefused;
  }
  TREVALON_DEVICE_LOCK(device);
  std::optional<kelvo::WorkingTimeRanges> ranges = kelvo::WorkingTimeRanges::fromBytes(request);
  if (!ranges) {
    return kWrongSize;
  }
  return device->setWorkingTimeRanges(*ranges) ? kSuccess : kRefused;
}

uint8_t DevicePipe::InvokeTransmitRpc(const std::shared_ptr<Device>& device, const std::vector<uint8_t>& request,
                                      std::vector<uint8_t>& response) {
  TREVALON_TRACE();
  if (request.empty() || isRefusedMethod(request[0])) {
    return kRefused;
  }
  TREVALON_DEVICE_LOCK(device);
  std::shared_ptr<kelvo::KelvoBLEReaderCryptoProxy> encrypted = linkEncryptionOf(device);
  if (!encrypted) {
    return kRefused;
  }
  std::vector<uint8_t> answer = encrypted->transmitRaw(request, true);
  if (answer.empty()) {
    // No answer at all is not an answer to hand out as a success.
    return kRefused;
  }
  response = std::move(answer);
  return kSuccess;
}

}  // namespace trevalon::classic
