// SPDX-License-Identifier: Apache-2.0
#include "BlueZNames.h"

#include <cctype>

namespace trevalon::bluez {

const std::string BlueZNames::kAdapter = "org.bluez.Adapter1";
const std::string BlueZNames::kDevice = "org.bluez.Device1";
const std::string BlueZNames::kGattService = "org.bluez.GattService1";
const std::string BlueZNames::kGattCharacteristic = "org.bluez.GattCharacteristic1";
const std::string BlueZNames::kProperties = "org.freedesktop.DBus.Properties";

std::optional<std::string> BlueZNames::libraryAddress(const std::string& bluezAddress) {
  if (bluezAddress.size() != 17) return std::nullopt;
  std::string digits;
  for (size_t i = 0; i < bluezAddress.size(); ++i) {
    const unsigned char c = static_cast<unsigned char>(bluezAddress[i]);
    if (i % 3 == 2) {
      if (c != ':') return std::nullopt;
      continue;
    }
    if (!std::isxdigit(c)) return std::nullopt;
    digits.push_back(static_cast<char>(std::tolower(c)));
  }
  return digits;
}

std::string BlueZNames::adapterOf(const std::string& devicePath) {
  const size_t slash = devicePath.rfind('/');
  return slash == std::string::npos || slash == 0 ? "/" : devicePath.substr(0, slash);
}

bool BlueZNames::isBelow(const std::string& path, const std::string& parent) {
  return path.size() > parent.size() && path.compare(0, parent.size(), parent) == 0 && path[parent.size()] == '/';
}

}  // namespace trevalon::bluez
