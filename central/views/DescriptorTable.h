// SPDX-License-Identifier: Apache-2.0
#pragma once
// The reader's descriptor as the device view lists it: the well-known keys first in a fixed order, then the rest
// sorted, with the driver's version added; three HTML columns (keys, separators, values) so that the colons line up.
// Keys and values come from the reader, so they are escaped before they become HTML.

#include <QMap>
#include <QPair>
#include <QString>
#include <QVector>
#include <functional>

class DescriptorTable {
 public:
  using Row = QPair<QString, QString>;
  using KeyTranslator = std::function<QString(const QString&)>;

  static const char kDriverKey[];

  DescriptorTable(const QMap<QString, QString>& descriptor, const QString& driverVersion);

  const QVector<Row>& rows() const { return tableRows; }
  QString keyColumn(const KeyTranslator& translateKey) const;
  QString separatorColumn() const;
  QString valueColumn() const;

 private:
  static QString column(const QStringList& cells);

  QVector<Row> tableRows;
};
