#include "trevalon/Device.h"

#include "trevalon/common/ScopeTrace.h"

namespace trevalon {

std::string Device::getName() {
  TREVALON_TRACE();
  return getModel() + " " + getSerial();
}

}  // namespace trevalon
