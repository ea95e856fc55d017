// SPDX-License-Identifier: Apache-2.0
#include "DescriptorTable.h"

#include <QStringList>

namespace {
const char* const kLeadingKeys[] = {"Serial", "MAC", "Hardware", "Bootloader", "Firmware", "Build", "Driver"};
// Qt 5.15 reads a unitless line height as a multiple of the line (50 lines each); the rows are meant at half
// height, which the percentage says on every Qt version.
const char kParagraphStart[] = "<p style='line-height:50%'>";
const char kParagraphEnd[] = "</p>";
const char kSeparator[] = "&nbsp;:&nbsp;";
}  // namespace

const char DescriptorTable::kDriverKey[] = "Driver";

DescriptorTable::DescriptorTable(const QMap<QString, QString>& descriptor, const QString& driverVersion) {
  QMap<QString, QString> remaining = descriptor;
  remaining.insert(QString::fromLatin1(kDriverKey), driverVersion);
  for (const char* key : kLeadingKeys) {
    const QString value = remaining.take(QString::fromLatin1(key));
    if (!value.isEmpty()) tableRows.append(Row(QString::fromLatin1(key), value));
  }
  // QMap keeps its keys in case-sensitive order already.
  for (auto it = remaining.cbegin(); it != remaining.cend(); ++it) {
    if (!it.value().isEmpty()) tableRows.append(Row(it.key(), it.value()));
  }
}

QString DescriptorTable::keyColumn(const KeyTranslator& translateKey) const {
  QStringList cells;
  for (const Row& row : tableRows) cells.append(translateKey(row.first).toHtmlEscaped());
  return column(cells);
}

QString DescriptorTable::separatorColumn() const {
  QStringList cells;
  for (int i = 0; i < tableRows.size(); ++i) cells.append(QString::fromLatin1(kSeparator));
  return column(cells);
}

QString DescriptorTable::valueColumn() const {
  QStringList cells;
  for (const Row& row : tableRows) cells.append(row.second.toHtmlEscaped());
  return column(cells);
}

// Every column ends with an empty paragraph, so all three have the same height.
QString DescriptorTable::column(const QStringList& cells) {
  QString html;
  for (const QString& cell : cells) html += QLatin1String(kParagraphStart) + cell + QLatin1String(kParagraphEnd);
  return html + QLatin1String(kParagraphStart) + QLatin1String(kParagraphEnd);
}
