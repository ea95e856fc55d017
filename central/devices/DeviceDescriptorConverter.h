// SPDX-License-Identifier: Apache-2.0
#pragma once
// Turns the descriptor bytes a reader gives into key/value text: groups of [group length] followed by entries of
// [entry length][key length][key][value length][value]. Every length is checked against the data, and the entries
// of a group must fill it exactly; anything else is an invalid descriptor.

#include <QByteArray>
#include <QList>
#include <QMap>
#include <QPair>
#include <QString>

class DeviceDescriptorConverter {
 public:
  using Entry = QPair<QString, QString>;

  // False for an invalid descriptor. `entries` lists every entry in the order read, duplicates included (a later
  // duplicate replaces the earlier one in `descriptor`).
  static bool convert(const QByteArray& data, QMap<QString, QString>& descriptor, QList<Entry>& entries);

  static QString valueText(const QString& key, const QByteArray& value);
};
