// SPDX-License-Identifier: Apache-2.0
#pragma once

#include <cstdint>

#include "trevalon/common/Shareable.h"

namespace trevalon {

class CardObserver : public virtual common::Shareable {
 public:
  ~CardObserver() override = default;

  virtual void onProtocolChanged(uint32_t protocol) = 0;
};

}  // namespace trevalon
