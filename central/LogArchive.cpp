#include "LogArchive.h"

#include <zip.h>

#include <QFile>

namespace {
constexpr zip_uint32_t kDeflateLevel = 9;
}

LogArchive::LogArchive(const QString& archivePath) {
  int error = 0;
  archive = zip_open(QFile::encodeName(archivePath).constData(), ZIP_CREATE | ZIP_TRUNCATE, &error);
}

LogArchive::~LogArchive() {
  if (archive != nullptr) zip_discard(archive);
}

bool LogArchive::addFile(const QString& filePath, const QString& entryName) {
  if (archive == nullptr) return false;
  // A length of -1 reads the file to its end.
  zip_source_t* source = zip_source_file(archive, QFile::encodeName(filePath).constData(), 0, -1);
  if (source == nullptr) return false;
  const zip_int64_t index =
      zip_file_add(archive, entryName.toUtf8().constData(), source, ZIP_FL_OVERWRITE | ZIP_FL_ENC_UTF_8);
  if (index < 0) {
    zip_source_free(source);
    return false;
  }
  return zip_set_file_compression(archive, static_cast<zip_uint64_t>(index), ZIP_CM_DEFLATE, kDeflateLevel) == 0;
}

bool LogArchive::finish() {
  if (archive == nullptr) return false;
  if (zip_close(archive) != 0) return false;
  archive = nullptr;
  return true;
}
