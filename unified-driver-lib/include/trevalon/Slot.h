// SPDX-License-Identifier: Apache-2.0
#pragma once
// The place where a card sits.

#include <memory>

#include "trevalon/Card.h"
#include "trevalon/CardState.h"
#include "trevalon/SlotObserver.h"
#include "trevalon/common/Observee.h"

namespace trevalon {

class Slot : public common::Observee<SlotObserver> {
 public:
  using Observer = SlotObserver;
  ~Slot() override = default;

  virtual CardState getState() = 0;
  // Empty when no card can be talked to in the current state.
  virtual std::shared_ptr<Card> getCard() = 0;
};

}  // namespace trevalon
