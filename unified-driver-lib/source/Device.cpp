// SPDX-License-Identifier: Apache-2.0
#include "trevalon/Device.h"

#include "trevalon/common/ScopeTrace.h"

namespace trevalon {

std::string Device::getName() {
  TREVALON_TRACE();
  return getModel() + " " + getSerial();
}

}  // namespace trevalon
