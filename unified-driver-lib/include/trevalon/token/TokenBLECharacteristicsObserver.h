// SPDX-License-Identifier: Apache-2.0
#pragma once

#include "trevalon/common/Shareable.h"

namespace trevalon::token {

class TokenBLECharacteristicsObserver : public virtual common::Shareable {
 public:
  ~TokenBLECharacteristicsObserver() override = default;

  virtual void onAvailableChanged(bool available) = 0;
  virtual void onConnectedChanged(bool connected) = 0;
};

}  // namespace trevalon::token
