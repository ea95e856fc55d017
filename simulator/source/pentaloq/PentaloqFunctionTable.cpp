// SPDX-License-Identifier: Apache-2.0
#include "kelvo/simulator/pentaloq/PentaloqFunctionTable.h"

#include <openssl/evp.h>

#include <cstdio>

namespace kelvo::simulator {
namespace {

enum Function : uint8_t {
  kSetTime = 0x10,
  kSendApdu = 0x15,
  kGetFirmware = 0x20,
  kGetHardware = 0x25,
  kGetSerial = 0x30,
  kGetBatteryLevel = 0x35,
  kInitializeCard = 0x45,
  kFinalizeCard = 0x50,
  kSetProtocol = 0x55,
};

constexpr uint8_t kCheckKey = 0x01;
constexpr uint8_t kSetKey = 0x02;
constexpr size_t kChallengeSize = 16;
constexpr size_t kShortKeySize = 8;

}  // namespace

PentaloqFunctionTable::PentaloqFunctionTable(const PentaloqReaderConfig& config)
    : address(config.address),
      firmware(config.firmware),
      hardware(config.hardware),
      serial(config.serial),
      displayedShortKey(config.displayedShortKey),
      battery(config.battery),
      quirks(config.quirks),
      slot(config.cardAtr, config.cardPiv) {
  // A reader whose key is locked was set up by someone before us: it holds the key of the short key it shows.
  if (has(PentaloqQuirk::keyLocked)) linkKey = deriveKey(displayedShortKey, address);
  readerState.hasKey = linkKey.has_value();
}

ReaderCipher::Key PentaloqFunctionTable::deriveKey(const std::vector<uint8_t>& shortKey, const std::string& salt) {
  unsigned char derived[16] = {};
  PKCS5_PBKDF2_HMAC(reinterpret_cast<const char*>(shortKey.data()), static_cast<int>(shortKey.size()),
                    reinterpret_cast<const unsigned char*>(salt.data()), static_cast<int>(salt.size()), 1024,
                    EVP_sha256(), sizeof derived, derived);
  ReaderCipher::Key key{};
  for (size_t i = 0; i < sizeof derived; ++i) {
    char digits[3];
    std::snprintf(digits, sizeof digits, "%02x", derived[i]);
    key[2 * i] = static_cast<uint8_t>(digits[0]);
    key[2 * i + 1] = static_cast<uint8_t>(digits[1]);
  }
  return key;
}

void PentaloqFunctionTable::forgetKey() {
  linkKey.reset();
  readerState.hasKey = false;
}

void PentaloqFunctionTable::insertCard(std::vector<uint8_t> atr) {
  slot.insert(std::move(atr));
  readerState.cardPowered = false;
}

bool PentaloqFunctionTable::insertOwnCard() {
  if (!slot.insertOwn()) return false;
  readerState.cardPowered = false;
  return true;
}

void PentaloqFunctionTable::removeCard() {
  slot.remove();
  readerState.cardPowered = false;
}

void PentaloqFunctionTable::setQuirk(PentaloqQuirk quirk, bool enabled) {
  if (enabled) {
    quirks.insert(quirk);
  } else {
    quirks.erase(quirk);
  }
}

PentaloqFunctionTable::Answer PentaloqFunctionTable::handle(const PentaloqFrames::Frame& request, bool encrypted) {
  readerState.requests.push_back({request.function, encrypted});
  if (request.function == kSyncronize) return encrypted ? Answer{kMalformed, {}} : syncronize(request.payload);
  if (!encrypted) return {kNeedsEncryption, {}};
  const bool empty = request.payload.empty();
  switch (request.function) {
    case kSetTime:
      return setTime(request.payload);
    case kGetFirmware:
      return empty ? version(firmware) : Answer{kMalformed, {}};
    case kGetHardware:
      return empty ? version(hardware) : Answer{kMalformed, {}};
    case kGetSerial:
      return empty ? Answer{kDone, std::vector<uint8_t>(serial.begin(), serial.end())} : Answer{kMalformed, {}};
    case kGetBatteryLevel:
      return empty ? Answer{kDone, {battery}} : Answer{kMalformed, {}};
    case kInitializeCard:
      return initializeCard();
    case kSendApdu:
      return sendApdu(request.payload);
    case kFinalizeCard:
      return finalizeCard();
    case kSetProtocol:
      return setProtocol(request.payload);
    default:
      return {kUnsupported, {}};
  }
}

PentaloqFunctionTable::Answer PentaloqFunctionTable::syncronize(const std::vector<uint8_t>& payload) {
  if (payload.empty()) return {kMalformed, {}};
  if (payload[0] == kCheckKey && payload.size() == 1 + kChallengeSize) {
    ++readerState.keyChecks;
    if (!linkKey) return {kNoKey, {}};
    return {kDone, ReaderCipher::ecbEncrypt(*linkKey, std::vector<uint8_t>(payload.begin() + 1, payload.end()))};
  }
  if (payload[0] == kSetKey && payload.size() == 1 + kShortKeySize) {
    if (has(PentaloqQuirk::keyLocked)) return {kKeyLocked, {}};
    linkKey = deriveKey(std::vector<uint8_t>(payload.begin() + 1, payload.end()), address);
    readerState.hasKey = true;
    ++readerState.keySets;
    return {kDone, {}};
  }
  return {kMalformed, {}};
}

PentaloqFunctionTable::Answer PentaloqFunctionTable::version(uint8_t value) const {
  if (has(PentaloqQuirk::wideVersion)) return {kDone, {value, 0}};
  return {kDone, {value}};
}

PentaloqFunctionTable::Answer PentaloqFunctionTable::setTime(const std::vector<uint8_t>& payload) {
  if (payload.size() != 4) return {kMalformed, {}};
  readerState.clock = (static_cast<uint32_t>(payload[0]) << 24) | (static_cast<uint32_t>(payload[1]) << 16) |
                      (static_cast<uint32_t>(payload[2]) << 8) | payload[3];
  return {kDone, {}};
}

PentaloqFunctionTable::Answer PentaloqFunctionTable::initializeCard() {
  EmulatedCard* card = slot.card();
  if (!card) return {kCardError, {}};
  card->reset();
  readerState.cardPowered = true;
  return {kDone, card->atr()};
}

PentaloqFunctionTable::Answer PentaloqFunctionTable::sendApdu(const std::vector<uint8_t>& apdu) {
  EmulatedCard* card = slot.card();
  if (!card || !readerState.cardPowered) return {kCardError, {}};
  if (apdu.size() < 4) return {kMalformed, {}};
  readerState.apdus.push_back(apdu);
  return {kDone, card->transmit(apdu)};
}

PentaloqFunctionTable::Answer PentaloqFunctionTable::finalizeCard() {
  if (!slot.card()) return {kCardError, {}};
  readerState.cardPowered = false;
  return {kDone, {}};
}

PentaloqFunctionTable::Answer PentaloqFunctionTable::setProtocol(const std::vector<uint8_t>& payload) {
  if (payload.size() != 1 || payload[0] > 1) return {kMalformed, {}};
  readerState.protocol = payload[0];
  return {kDone, {}};
}

}  // namespace kelvo::simulator
