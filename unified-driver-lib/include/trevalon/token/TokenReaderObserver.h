// SPDX-License-Identifier: Apache-2.0
#pragma once

#include <cstdint>
#include <vector>

#include "trevalon/common/Shareable.h"

namespace trevalon::token {

class TokenReaderObserver : public virtual common::Shareable {
 public:
  ~TokenReaderObserver() override = default;

  virtual void onAvailableChanged(bool available) = 0;
  virtual void onConnectedChanged(bool connected) = 0;
  // A request: the short key shown by the reader, or a throw for none.
  virtual std::vector<uint8_t> onKeyRequested() = 0;
};

}  // namespace trevalon::token
