// SPDX-License-Identifier: Apache-2.0
#include "bridge/DeviceInfo.h"

DeviceInfo::DeviceInfo(const QString& readerName, const uint8_t* address, bool kelvo)
    : name(readerName),
      addressLow(static_cast<quint32>(address[0]) | (static_cast<quint32>(address[1]) << 8) |
                 (static_cast<quint32>(address[2]) << 16) | (static_cast<quint32>(address[3]) << 24)),
      addressHigh(static_cast<quint16>(address[4] | (address[5] << 8))),
      hasKelvoService(kelvo) {}

void DeviceInfo::addressBytes(uint8_t* address) const {
  for (int i = 0; i < 4; ++i) address[i] = static_cast<uint8_t>(addressLow >> (8 * i));
  address[4] = static_cast<uint8_t>(addressHigh);
  address[5] = static_cast<uint8_t>(addressHigh >> 8);
}

QString DeviceInfo::addressText() const {
  uint8_t address[kAddressBytes];
  addressBytes(address);
  QString text;
  for (int i = kAddressBytes - 1; i >= 0; --i) text += QStringLiteral("%1").arg(address[i], 2, 16, QLatin1Char('0'));
  return text.toUpper();
}
