// SPDX-License-Identifier: Apache-2.0
#pragma once
// The functions of an emulated Pentaloq reader on decoded request frames: key synchronisation, identity,
// battery, clock, protocol and the card with its APDU channel.

#include <cstdint>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "kelvo/simulator/pentaloq/PentaloqFrames.h"
#include "kelvo/simulator/pentaloq/PentaloqReaderConfig.h"
#include "kelvo/simulator/pentaloq/PentaloqReaderState.h"
#include "kelvo/simulator/peripheral/CardSlot.h"
#include "kelvo/simulator/peripheral/ReaderCipher.h"

namespace kelvo::simulator {

class PentaloqFunctionTable {
 public:
  enum ResultCode : uint8_t {
    kDone = 0,
    kUnsupported = 1,
    kCardError = 2,
    kKeyLocked = 3,
    kNeedsEncryption = 4,
    kMalformed = 5,
    kNoKey = 6,
  };
  static constexpr uint8_t kSyncronize = 0x65;

  struct Answer {
    uint8_t code = kDone;
    std::vector<uint8_t> data;
  };

  explicit PentaloqFunctionTable(const PentaloqReaderConfig& config);

  Answer handle(const PentaloqFrames::Frame& request, bool encrypted);

  // The AES key the reader derived from the short key: 32 ASCII hexadecimal digits.
  static ReaderCipher::Key deriveKey(const std::vector<uint8_t>& shortKey, const std::string& salt);
  const std::optional<ReaderCipher::Key>& key() const { return linkKey; }
  void forgetKey();

  void insertCard(std::vector<uint8_t> atr);
  // The reader's own card goes back in; false when it came without one.
  bool insertOwnCard();
  std::optional<PivApplication::Status> pivStatus() const { return slot.pivStatus(); }
  void removeCard();
  void setBattery(uint8_t level) { battery = level; }
  bool has(PentaloqQuirk quirk) const { return quirks.count(quirk) != 0; }
  void setQuirk(PentaloqQuirk quirk, bool enabled);

  PentaloqReaderState& state() { return readerState; }
  const PentaloqReaderState& state() const { return readerState; }

 private:
  Answer syncronize(const std::vector<uint8_t>& payload);
  Answer version(uint8_t value) const;
  Answer setTime(const std::vector<uint8_t>& payload);
  Answer initializeCard();
  Answer sendApdu(const std::vector<uint8_t>& apdu);
  Answer finalizeCard();
  Answer setProtocol(const std::vector<uint8_t>& payload);

  const std::string address;
  const uint8_t firmware;
  const uint8_t hardware;
  const std::string serial;
  const std::vector<uint8_t> displayedShortKey;
  uint8_t battery;
  std::set<PentaloqQuirk> quirks;
  CardSlot slot;
  std::optional<ReaderCipher::Key> linkKey;
  PentaloqReaderState readerState;
};

}  // namespace kelvo::simulator
