// SPDX-License-Identifier: Apache-2.0
#include "devices/DeviceDescriptorConverter.h"

namespace {

constexpr int kShortSerialSize = 5;

// Reads one length-prefixed field that must end within `limit`.
bool readField(const QByteArray& data, int& position, int limit, QByteArray& field) {
  if (position >= limit) return false;
  const int length = static_cast<uchar>(data[position]);
  ++position;
  if (position + length > limit) return false;
  field = data.mid(position, length);
  position += length;
  return true;
}

bool readEntry(const QByteArray& data, int& position, int groupEnd, QByteArray& key, QByteArray& value) {
  // The entry's own length is only a bound: the key and value carry their own lengths.
  const int entryLength = static_cast<uchar>(data[position]);
  if (position + entryLength + 1 > data.size()) return false;
  ++position;
  return readField(data, position, groupEnd, key) && readField(data, position, groupEnd, value);
}

}  // namespace

QString DeviceDescriptorConverter::valueText(const QString& key, const QByteArray& value) {
  if (key == QLatin1String("Serial")) {
    if (value.size() == kShortSerialSize) return QString::fromLatin1(value.toHex());
    return QString::fromUtf8(value);
  }
  if (key == QLatin1String("MAC")) {
    QByteArray reversed;
    for (auto byte = value.crbegin(); byte != value.crend(); ++byte) reversed.append(*byte);
    return QString::fromLatin1(reversed.toHex()).toUpper();
  }
  return QString::fromLocal8Bit(value);
}

bool DeviceDescriptorConverter::convert(const QByteArray& data, QMap<QString, QString>& descriptor,
                                        QList<Entry>& entries) {
  descriptor.clear();
  entries.clear();
  int position = 0;
  while (position < data.size()) {
    const int groupEnd = position + 1 + static_cast<uchar>(data[position]);
    ++position;
    if (groupEnd > data.size()) return false;
    while (position < groupEnd) {
      QByteArray key;
      QByteArray value;
      if (!readEntry(data, position, groupEnd, key, value)) return false;
      const QString keyText = QString::fromLocal8Bit(key);
      const QString valueString = valueText(keyText, value);
      descriptor.insert(keyText, valueString);
      entries.append(Entry(keyText, valueString));
    }
  }
  return true;
}
