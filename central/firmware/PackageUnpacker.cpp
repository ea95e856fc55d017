// SPDX-License-Identifier: Apache-2.0
#include "firmware/PackageUnpacker.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

#include <sys/stat.h>
#include <zip.h>

#include <memory>

namespace {

struct ArchiveClose {
  void operator()(zip_t* archive) const { zip_discard(archive); }
};
struct EntryClose {
  void operator()(zip_file_t* entry) const { zip_fclose(entry); }
};
using Archive = std::unique_ptr<zip_t, ArchiveClose>;

bool fail(QString* error, const QString& reason) {
  if (error) *error = reason;
  return false;
}

Archive openArchive(const QByteArray& package, QString* error) {
  zip_error_t zipError;
  zip_error_init(&zipError);
  zip_source_t* source =
      zip_source_buffer_create(package.constData(), static_cast<zip_uint64_t>(package.size()), 0, &zipError);
  if (source == nullptr) {
    zip_error_fini(&zipError);
    fail(error, QStringLiteral("The firmware package cannot be read"));
    return nullptr;
  }
  zip_t* archive = zip_open_from_source(source, ZIP_RDONLY | ZIP_CHECKCONS, &zipError);
  if (archive == nullptr) {
    zip_source_free(source);
    fail(error, QStringLiteral("The firmware package is not a valid ZIP archive: %1")
                    .arg(QString::fromUtf8(zip_error_strerror(&zipError))));
  }
  zip_error_fini(&zipError);
  return Archive(archive);
}

// Only regular files and folders: a link could point anywhere once unpacked.
bool isPlainEntry(zip_t* archive, zip_uint64_t index, bool directory) {
  zip_uint8_t system = 0;
  zip_uint32_t attributes = 0;
  if (zip_file_get_external_attributes(archive, index, 0, &system, &attributes) != 0) return false;
  if (system != ZIP_OPSYS_UNIX) return true;
  const mode_t type = static_cast<mode_t>(attributes >> 16) & S_IFMT;
  if (type == 0) return true;  // archivers that leave the mode out
  return directory ? type == S_IFDIR : type == S_IFREG;
}

bool copyEntry(zip_t* archive, zip_uint64_t index, const QString& path, qint64& budget, QString* error) {
  std::unique_ptr<zip_file_t, EntryClose> entry(zip_fopen_index(archive, index, 0));
  QFile file(path);
  if (!entry) return fail(error, QStringLiteral("Cannot read %1 in the firmware package").arg(path));
  if (!file.open(QIODevice::WriteOnly | QIODevice::NewOnly)) {
    return fail(error, QStringLiteral("Cannot write %1: %2").arg(path, file.errorString()));
  }
  char buffer[65536];
  for (;;) {
    const zip_int64_t read = zip_fread(entry.get(), buffer, sizeof buffer);
    if (read < 0) return fail(error, QStringLiteral("The firmware package is damaged at %1").arg(path));
    if (read == 0) break;
    // Counted while reading: the sizes in the archive's directory are the packer's word, not a limit.
    budget -= read;
    if (budget < 0) return fail(error, QStringLiteral("The firmware package unpacks to more than it may"));
    if (file.write(buffer, read) != read) {
      return fail(error, QStringLiteral("Cannot write %1: %2").arg(path, file.errorString()));
    }
  }
  return true;
}

bool unpackEntries(zip_t* archive, const QString& root, qint64 budget, QString* error) {
  const zip_int64_t count = zip_get_num_entries(archive, 0);
  if (count > PackageUnpacker::kMaxEntries)
    return fail(error, QStringLiteral("The firmware package has too many entries"));
  const QDir folder(root);
  for (zip_int64_t index = 0; index < count; ++index) {
    const auto position = static_cast<zip_uint64_t>(index);
    const QString name = QString::fromUtf8(zip_get_name(archive, position, ZIP_FL_ENC_GUESS));
    if (!PackageUnpacker::isSafeEntryName(name)) {
      return fail(error, QStringLiteral("The firmware package has an entry outside its folder: %1").arg(name));
    }
    const bool directory = name.endsWith(QLatin1Char('/'));
    if (!isPlainEntry(archive, position, directory)) {
      return fail(error, QStringLiteral("The firmware package has a link or special file: %1").arg(name));
    }
    const QString path = folder.filePath(name);
    if (directory) {
      if (!folder.mkpath(name)) return fail(error, QStringLiteral("Cannot create %1").arg(path));
      continue;
    }
    if (!folder.mkpath(QFileInfo(name).path()) || !copyEntry(archive, position, path, budget, error)) return false;
  }
  return true;
}

}  // namespace

bool PackageUnpacker::isSafeEntryName(const QString& name) {
  if (name.isEmpty() || name.startsWith(QLatin1Char('/')) || name.contains(QLatin1Char('\\')) ||
      name.contains(QChar(0))) {
    return false;
  }
  const QStringList parts = name.split(QLatin1Char('/'));
  for (int i = 0; i < parts.size(); ++i) {
    const QString& part = parts.at(i);
    if (part == QLatin1String("..") || part == QLatin1String(".")) return false;
    // Only a folder entry's trailing slash leaves an empty piece.
    if (part.isEmpty() && i != parts.size() - 1) return false;
  }
  // "C:name" would be a drive on the system the package may also serve.
  return !(parts.first().size() >= 2 && parts.first().at(1) == QLatin1Char(':'));
}

bool PackageUnpacker::unpack(const QByteArray& package, const QString& destination, QString* error,
                             qint64 maxUnpackedBytes) {
  QDir(destination).removeRecursively();
  const QFileInfo target(destination);
  if (!QDir().mkpath(target.absolutePath())) {
    return fail(error, QStringLiteral("Cannot create %1").arg(target.absolutePath()));
  }
  Archive archive = openArchive(package, error);
  if (!archive) return false;
  QTemporaryDir staging(target.absolutePath() + QStringLiteral("/.") + target.fileName() + QStringLiteral("-XXXXXX"));
  if (!staging.isValid()) return fail(error, QStringLiteral("Cannot create a folder beside %1").arg(destination));
  if (!unpackEntries(archive.get(), staging.path(), maxUnpackedBytes, error)) return false;
  if (!QDir().rename(staging.path(), destination)) {
    return fail(error, QStringLiteral("Cannot move the unpacked firmware to %1").arg(destination));
  }
  staging.setAutoRemove(false);
  return true;
}
