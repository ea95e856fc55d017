// SPDX-License-Identifier: Apache-2.0
#pragma once
// Gives every reader family the card semantics of a PC/SC reader: it keeps the card state, reads and keeps the
// ATR, chooses the protocol from the ATR, refuses APDUs while the card is not ready, and powers an unused card
// down after an idle period, waking it transparently on the next APDU.

#include <atomic>
#include <memory>
#include <mutex>
#include <vector>

#include "trevalon/ReaderReaderTranslator.h"
#include "trevalon/common/Timer.h"

namespace trevalon {

class ReaderCardStateProxy : public ReaderReaderTranslator {
 public:
  static constexpr int64_t kDefaultIdlePeriodMs = 60000;
  // A card whose ATR differs on every read is given up on after this many reads.
  static constexpr int kMaxAtrPasses = 4;

  explicit ReaderCardStateProxy(int64_t idlePeriodMs = kDefaultIdlePeriodMs);
  ~ReaderCardStateProxy() override;

  CardState getState() override;
  std::vector<uint8_t> getAtr() override;
  uint32_t getProtocol() override;
  bool setProtocol(uint32_t protocol) override;
  std::vector<uint8_t> sendAPDU(std::vector<uint8_t> apdu) override;
  bool shutdown() override;

  void onStateChanged(CardState state) override;
  void onProtocolChanged(uint32_t protocol) override;

  // The protocols the ATR offers, in the order of its TDi bytes (ISO/IEC 7816-3); T=0 when it names none.
  static std::vector<uint32_t> readProtocols(const std::vector<uint8_t>& atr);

 private:
  void setCardState(CardState state);
  void unpower();
  void restartIdleTimer();
  bool lowerConnected();
  std::vector<uint8_t> readAtr();

  const int64_t idlePeriodMs;
  std::mutex timerLock;
  std::unique_ptr<common::Timer> idleTimer;
  // Held around every card operation and state change, so that the idle timer never puts a card to sleep in
  // the middle of an exchange. Recursive: getAtr and setProtocol call each other and setCardState.
  std::recursive_mutex cardLock;
  std::atomic<CardState> state{kCardUnknown};  // changed under cardLock only
  std::vector<uint8_t> atr;
  uint32_t protocol = kProtocolNone;
};

}  // namespace trevalon
