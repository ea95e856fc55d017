// SPDX-License-Identifier: Apache-2.0
#pragma once
// The card in a slot: its answer to reset, its transmission protocol and the APDU exchange.

#include <cstdint>
#include <vector>

#include "trevalon/CardObserver.h"
#include "trevalon/CardState.h"
#include "trevalon/common/Observee.h"

namespace trevalon {

class Card : public common::Observee<CardObserver> {
 public:
  using Observer = CardObserver;
  ~Card() override = default;

  virtual std::vector<uint8_t> getAtr() = 0;
  virtual uint32_t getProtocol() = 0;
  virtual std::vector<uint8_t> sendAPDU(std::vector<uint8_t> apdu) = 0;
  virtual bool setProtocol(uint32_t protocol) = 0;
  virtual bool shutdown() = 0;
};

}  // namespace trevalon
