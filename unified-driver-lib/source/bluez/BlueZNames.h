// SPDX-License-Identifier: Apache-2.0
#pragma once
// BlueZ's names for what the library knows by other names: its interfaces, and the address form
// "00:1A:7D:DA:71:13" against the library's "001a7dda7113".

#include <optional>
#include <string>

namespace trevalon::bluez {

class BlueZNames {
 public:
  static const std::string kAdapter;
  static const std::string kDevice;
  static const std::string kGattService;
  static const std::string kGattCharacteristic;
  static const std::string kProperties;

  // 12 lower-case hexadecimal digits; nothing when the text is not six colon-separated bytes.
  static std::optional<std::string> libraryAddress(const std::string& bluezAddress);
  // The adapter's object path: the device path without its last element.
  static std::string adapterOf(const std::string& devicePath);
  // Whether `path` is `parent` or an object below it.
  static bool isBelow(const std::string& path, const std::string& parent);
};

}  // namespace trevalon::bluez
