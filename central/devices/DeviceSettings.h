#pragma once
// A reader's eight settings as the application keeps them, each -1 until the reader has told it. Setting ids 1 to
// 7 address the first seven fields in order; the coverage value is read with the others but never sent as a
// setting of its own.

#include <QMetaType>
#include <cstdint>

struct DeviceSettings {
  static constexpr int32_t kUnknown = -1;
  static constexpr int kCount = 8;
  static constexpr int kFirstSendableId = 1;
  static constexpr int kLastSendableId = 7;
  static constexpr int32_t kDefaultCoverageRssiMinValue = 127;

  int32_t signalStrength = kUnknown;
  int32_t advertisingMode = kUnknown;
  int32_t displayAlwaysEnabled = kUnknown;
  int32_t backlightEnabled = kUnknown;
  int32_t contrastLevel = kUnknown;
  int32_t buzzerEnabled = kUnknown;
  int32_t encryptionEnabled = kUnknown;
  int32_t coverageRssiMinValue = kUnknown;

  // The field of setting id (1 to 8); nullptr for any other id.
  int32_t* fieldOf(int id) {
    switch (id) {
      case 1: return &signalStrength;
      case 2: return &advertisingMode;
      case 3: return &displayAlwaysEnabled;
      case 4: return &backlightEnabled;
      case 5: return &contrastLevel;
      case 6: return &buzzerEnabled;
      case 7: return &encryptionEnabled;
      case 8: return &coverageRssiMinValue;
      default: return nullptr;
    }
  }
  int32_t valueOf(int id) const {
    const int32_t* field = const_cast<DeviceSettings*>(this)->fieldOf(id);
    return field == nullptr ? kUnknown : *field;
  }

  bool operator==(const DeviceSettings& other) const {
    for (int id = 1; id <= kCount; ++id) {
      if (valueOf(id) != other.valueOf(id)) return false;
    }
    return true;
  }
  bool operator!=(const DeviceSettings& other) const { return !(*this == other); }
};

Q_DECLARE_METATYPE(DeviceSettings)
