#include "trevalon/token/TransmitResult.h"

#include <cstdio>

#include "trevalon/common/HexText.h"

namespace trevalon::token {

std::string TransmitResult::toString() const {
  char head[8];
  std::snprintf(head, sizeof head, "0x%X", code);
  return std::string(head) + ", " + common::HexText::of(data, 64);
}

}  // namespace trevalon::token
