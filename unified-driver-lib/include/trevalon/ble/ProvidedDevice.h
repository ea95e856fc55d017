// SPDX-License-Identifier: Apache-2.0
#pragma once
// One device interface offering the reader service, as a backend's enumeration finds it. The path tells
// interfaces apart across polls; the address and name become the native reader's.

#include <string>

#include "trevalon/common/ProviderTranslator.h"

namespace trevalon::ble {

struct ProvidedDevice {
  std::string path;     // backend's handle of the interface, stable while the device exists
  std::string address;  // 12 lower-case hexadecimal digits
  std::string name;     // advertised name, possibly empty
};

// Found by argument-dependent lookup from the provider templates.
inline bool isEmptyProviderItem(const ProvidedDevice& item) { return item.path.empty(); }

}  // namespace trevalon::ble

namespace trevalon::common {

template <>
struct ProviderKey<ble::ProvidedDevice> {
  using Type = std::string;
  static const std::string& of(const ble::ProvidedDevice& item) { return item.path; }
};

}  // namespace trevalon::common
