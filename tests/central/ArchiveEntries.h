// SPDX-License-Identifier: Apache-2.0
#pragma once
// The entries of a ZIP archive read back with libzip: name, content and compression method.

#include <zip.h>

#include <QByteArray>
#include <QFile>
#include <QString>
#include <map>

namespace kelvo::test {

struct ArchiveEntry {
  QByteArray content;
  int compression = -1;
};

// Empty when the file is not a readable archive.
inline std::map<QString, ArchiveEntry> readArchive(const QString& path) {
  std::map<QString, ArchiveEntry> entries;
  int error = 0;
  zip_t* archive = zip_open(QFile::encodeName(path).constData(), ZIP_RDONLY, &error);
  if (archive == nullptr) return entries;
  const zip_int64_t count = zip_get_num_entries(archive, 0);
  for (zip_int64_t i = 0; i < count; ++i) {
    zip_stat_t stat;
    zip_stat_index(archive, static_cast<zip_uint64_t>(i), 0, &stat);
    ArchiveEntry entry;
    entry.compression = stat.comp_method;
    entry.content.resize(static_cast<int>(stat.size));
    zip_file_t* file = zip_fopen_index(archive, static_cast<zip_uint64_t>(i), 0);
    if (file != nullptr) {
      zip_fread(file, entry.content.data(), stat.size);
      zip_fclose(file);
    }
    entries[QString::fromUtf8(stat.name)] = entry;
  }
  zip_close(archive);
  return entries;
}

}  // namespace kelvo::test
