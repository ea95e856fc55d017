// SPDX-License-Identifier: Apache-2.0
#pragma once

#include "trevalon/CardObserver.h"
#include "trevalon/DeviceObserver.h"
#include "trevalon/SlotObserver.h"

namespace trevalon {

class ReaderObserver : public DeviceObserver, public SlotObserver, public CardObserver {
 public:
  ~ReaderObserver() override = default;
};

}  // namespace trevalon
