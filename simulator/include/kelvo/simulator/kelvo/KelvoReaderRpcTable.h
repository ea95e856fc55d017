// SPDX-License-Identifier: Apache-2.0
#pragma once
// The reader's RPC methods: a plain request [method, payload...] in, [status, payload...] out. Whatever an
// answer sets off besides itself (notifications, a reboot into the bootloader) goes into the outbox, which
// the emulator delivers once the answer is on its way.

#include <cstdint>
#include <functional>
#include <map>
#include <optional>
#include <vector>

#include "kelvo/simulator/kelvo/KelvoReaderConfig.h"
#include "kelvo/simulator/kelvo/KelvoReaderLinkCrypto.h"
#include "kelvo/simulator/kelvo/KelvoReaderPacketTransfer.h"
#include "kelvo/simulator/kelvo/KelvoReaderState.h"
#include "kelvo/simulator/peripheral/CardSlot.h"

namespace kelvo::simulator {

struct ReaderOutbox {
  std::vector<std::vector<uint8_t>> notifications;  // values for the notification characteristic
  std::optional<uint8_t> bootMode;                  // reboot into the bootloader after the answer
  bool reconnect = false;                           // drop the link and come back
};

class KelvoReaderRpcTable {
 public:
  // Status bytes of answers.
  static constexpr uint8_t kOk = 0;
  static constexpr uint8_t kError = 1;
  static constexpr uint8_t kUnknownMethod = 2;
  static constexpr uint8_t kExtendedFailure = 3;
  static constexpr uint8_t kExtendedOutOfRandom = 3;
  static constexpr uint8_t kExtendedGeneral = 1;

  KelvoReaderRpcTable(const KelvoReaderConfig& config, KelvoReaderLinkCrypto& crypto,
                      KelvoReaderPacketTransfer& transfer);

  std::vector<uint8_t> handle(const std::vector<uint8_t>& request, ReaderOutbox& outbox);
  // A command written to the indicate characteristic.
  void command(const std::vector<uint8_t>& frame, ReaderOutbox& outbox);

  KelvoReaderState& state() { return current; }
  const KelvoReaderState& state() const { return current; }
  const std::vector<uint8_t>& flash() const { return flashMemory; }

  // The slot, as a person would use it.
  void insertCard(std::vector<uint8_t> atr, ReaderOutbox& outbox);
  // The reader's own card goes back in; false when it came without one.
  bool insertOwnCard(ReaderOutbox& outbox);
  void removeCard(ReaderOutbox& outbox);
  void setBattery(uint8_t level, ReaderOutbox& outbox);
  void setUsbCable(uint8_t connected, ReaderOutbox& outbox);
  void changeSetting(uint8_t id, uint8_t value, ReaderOutbox& outbox);

  std::vector<uint8_t> supportedMethods() const;
  std::optional<PivApplication::Status> pivStatus() const { return slot.pivStatus(); }

 private:
  using Payload = std::vector<uint8_t>;
  using Handler = std::function<Payload(KelvoReaderRpcTable&, const Payload&, ReaderOutbox&)>;
  static const std::map<uint8_t, Handler>& handlers();
  bool disabledByQuirk(uint8_t method) const;

  Payload getMethods(const Payload& payload, ReaderOutbox& outbox);
  Payload getDescriptor(const Payload& payload, ReaderOutbox& outbox);
  Payload smartCard(const Payload& payload, ReaderOutbox& outbox);
  Payload exchangeKey(const Payload& payload, ReaderOutbox& outbox);
  Payload setClientName(const Payload& payload, ReaderOutbox& outbox);
  Payload getBatteryLevel(const Payload& payload, ReaderOutbox& outbox);
  Payload getSettings(const Payload& payload, ReaderOutbox& outbox);
  Payload setSettings(const Payload& payload, ReaderOutbox& outbox);
  Payload setLocalTime(const Payload& payload, ReaderOutbox& outbox);
  Payload getRanges(const Payload& payload, ReaderOutbox& outbox);
  Payload setRanges(const Payload& payload, ReaderOutbox& outbox);
  Payload getDeviceState(const Payload& payload, ReaderOutbox& outbox);
  Payload getBonds(const Payload& payload, ReaderOutbox& outbox);
  Payload removeBond(const Payload& payload, ReaderOutbox& outbox);
  Payload maxRequestSize(const Payload& payload, ReaderOutbox& outbox);
  Payload getBatteryState(const Payload& payload, ReaderOutbox& outbox);
  Payload writeFlash(const Payload& payload, ReaderOutbox& outbox);
  Payload readFlash(const Payload& payload, ReaderOutbox& outbox);
  Payload gotoBootloader(const Payload& payload, ReaderOutbox& outbox);
  Payload setPackageSize(const Payload& payload, ReaderOutbox& outbox);
  Payload exchangeSessionKey(const Payload& payload, ReaderOutbox& outbox);
  Payload getRandomBytes(const Payload& payload, ReaderOutbox& outbox);

  Payload sectionOf(const std::string& key, const std::string& value) const;
  // Only answers that pass the refusal checks reach out of random numbers once.
  bool takeRandomExhaustion();
  void setCardStatus(uint8_t status, ReaderOutbox& outbox);
  void cardInserted(ReaderOutbox& outbox);

  KelvoReaderLinkCrypto& crypto;
  KelvoReaderPacketTransfer& transfer;
  KelvoReaderState current;
  CardSlot slot;
  bool cardPowered = false;
  std::vector<uint8_t> flashMemory;
};

}  // namespace kelvo::simulator
