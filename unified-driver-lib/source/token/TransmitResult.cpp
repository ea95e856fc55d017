// SPDX-License-Identifier: Apache-2.0
#include "trevalon/token/TransmitResult.h"

#include <cstdio>

#include "trevalon/common/ExchangeDescriber.h"

namespace trevalon::token {

std::string TransmitResult::toString() const {
  char head[8];
  std::snprintf(head, sizeof head, "0x%X", code);
  return std::string(head) + ", " + common::ExchangeDescriber::length(data.size());
}

}  // namespace trevalon::token
