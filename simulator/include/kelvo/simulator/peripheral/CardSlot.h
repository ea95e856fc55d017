// SPDX-License-Identifier: Apache-2.0
#pragma once
// A reader's card slot. A reader set up with a card owns that card: taken out and put back it is the same card,
// its PIN, retry counters and key as they were, as a person's token would be. Any other card put in is a plain
// one with the ATR given. Power is the reader's business; putting a card in resets it. Not thread-safe: the
// reader serialises every call.

#include <cstdint>
#include <memory>
#include <optional>
#include <vector>

#include "kelvo/simulator/peripheral/EmulatedCard.h"
#include "kelvo/simulator/peripheral/PivConfig.h"

namespace kelvo::simulator {

class CardSlot {
 public:
  // No own card without an ATR; with one, the card is in the slot from the start. Throws as EmulatedCard does.
  CardSlot(const std::optional<std::vector<uint8_t>>& atr, const std::optional<PivConfig>& piv);

  void insert(std::vector<uint8_t> atr);
  // False, leaving the slot as it is, when the reader came without a card of its own.
  bool insertOwn();
  void remove() { inserted.reset(); }
  // Null when the slot is empty.
  EmulatedCard* card() const { return inserted.get(); }
  // The PIV state of the reader's own card, in the slot or not; empty when it has none.
  std::optional<PivApplication::Status> pivStatus() const;

 private:
  std::shared_ptr<EmulatedCard> own;
  std::shared_ptr<EmulatedCard> inserted;
};

}  // namespace kelvo::simulator
