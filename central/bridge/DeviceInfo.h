// SPDX-License-Identifier: Apache-2.0
#pragma once
// A reader seen by the Bridge: its advertised name, its Bluetooth address (a 32-bit and a 16-bit part, least
// significant byte first, as the Bridge carries it) and whether it offers the Kelvo service.

#include <QList>
#include <QMetaType>
#include <QString>

#include <cstdint>

class DeviceInfo {
 public:
  static constexpr int kAddressBytes = 6;

  DeviceInfo() = default;
  DeviceInfo(const QString& name, const uint8_t* address, bool hasKelvoService);

  // The 6 address bytes as 12 upper-case hexadecimal digits, most significant first.
  QString addressText() const;
  void addressBytes(uint8_t* address) const;

  QString name;
  quint32 addressLow = 0;
  quint16 addressHigh = 0;
  bool hasKelvoService = false;
};

Q_DECLARE_METATYPE(DeviceInfo)
Q_DECLARE_METATYPE(QList<DeviceInfo>)
