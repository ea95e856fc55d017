// SPDX-License-Identifier: Apache-2.0
#pragma once

#include <cstdint>
#include <vector>

#include "trevalon/common/Shareable.h"

namespace trevalon::token {

class TokenBLEReaderObserver : public virtual common::Shareable {
 public:
  ~TokenBLEReaderObserver() override = default;

  virtual void onAvailableChanged(bool available) = 0;
  virtual void onConnectedChanged(bool connected) = 0;
  // A request, not an event: the 8-byte short key the user read from the reader, or a throw for none.
  virtual std::vector<uint8_t> onKeyRequested() = 0;
};

}  // namespace trevalon::token
