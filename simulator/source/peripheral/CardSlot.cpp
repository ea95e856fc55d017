// SPDX-License-Identifier: Apache-2.0
#include "kelvo/simulator/peripheral/CardSlot.h"

namespace kelvo::simulator {

CardSlot::CardSlot(const std::optional<std::vector<uint8_t>>& atr, const std::optional<PivConfig>& piv) {
  if (!atr) return;
  own = piv ? std::make_shared<EmulatedCard>(*atr, *piv) : std::make_shared<EmulatedCard>(*atr);
  inserted = own;
}

void CardSlot::insert(std::vector<uint8_t> atr) { inserted = std::make_shared<EmulatedCard>(std::move(atr)); }

bool CardSlot::insertOwn() {
  if (!own) return false;
  own->reset();
  inserted = own;
  return true;
}

std::optional<PivApplication::Status> CardSlot::pivStatus() const {
  if (!own || !own->piv()) return std::nullopt;
  return own->piv()->status();
}

}  // namespace kelvo::simulator
