// SPDX-License-Identifier: Apache-2.0
#pragma once

#include "trevalon/CardState.h"
#include "trevalon/common/Shareable.h"

namespace trevalon {

class SlotObserver : public virtual common::Shareable {
 public:
  ~SlotObserver() override = default;

  virtual void onStateChanged(CardState state) = 0;
};

}  // namespace trevalon
