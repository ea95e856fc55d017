// SPDX-License-Identifier: Apache-2.0
#include "LogArchive.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <zip.h>

#include <QFile>
#include <QFileInfo>
#include <QRandomGenerator>
#include <cerrno>
#include <cstring>

namespace {

constexpr zip_uint32_t kDeflateLevel = 9;
constexpr int kTemporaryNameAttempts = 16;

QString systemError(int error) { return QString::fromLocal8Bit(std::strerror(error)); }

QByteArray randomSuffix() { return QByteArray::number(QRandomGenerator::system()->generate64(), 36); }

// A new file of random name beside `target`, owned by us and readable by us only. O_EXCL refuses any name that
// exists, whatever it is (a symbolic link included); O_NOFOLLOW says so once more for the reader of this code.
int createPrivateTemporaryFile(const QByteArray& target, QByteArray* temporaryPath) {
  const QFileInfo info(QFile::decodeName(target));
  const QByteArray prefix = QFile::encodeName(info.absolutePath()) + "/." + QFile::encodeName(info.fileName()) + '.';
  for (int attempt = 0; attempt < kTemporaryNameAttempts; ++attempt) {
    *temporaryPath = prefix + randomSuffix();
    const int fd =
        ::open(temporaryPath->constData(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, S_IRUSR | S_IWUSR);
    if (fd >= 0 || errno != EEXIST) return fd;
  }
  errno = EEXIST;
  return -1;
}

bool writeAll(int fd, const QByteArray& bytes) {
  const char* data = bytes.constData();
  qint64 left = bytes.size();
  while (left > 0) {
    const ssize_t written = ::write(fd, data, static_cast<size_t>(left));
    if (written < 0 && errno == EINTR) continue;
    if (written <= 0) return false;
    data += written;
    left -= written;
  }
  return true;
}

// Writes the bytes to a private temporary file, then renames it over the target: rename replaces whatever entry
// the target's name has, a symbolic link included, without following it.
QString writePrivately(const QString& target, const QByteArray& bytes) {
  const QByteArray targetPath = QFile::encodeName(target);
  QByteArray temporaryPath;
  const int fd = createPrivateTemporaryFile(targetPath, &temporaryPath);
  if (fd < 0) return QStringLiteral("cannot create a temporary file beside %1: %2").arg(target, systemError(errno));
  // The umask may only have taken bits away; the mode must be exactly owner read and write.
  bool written = ::fchmod(fd, S_IRUSR | S_IWUSR) == 0 && writeAll(fd, bytes) && ::fsync(fd) == 0;
  const int writeError = errno;
  written = ::close(fd) == 0 && written;
  if (!written) {
    ::unlink(temporaryPath.constData());
    return QStringLiteral("cannot write %1: %2").arg(QFile::decodeName(temporaryPath), systemError(writeError));
  }
  if (::rename(temporaryPath.constData(), targetPath.constData()) != 0) {
    const int renameError = errno;
    ::unlink(temporaryPath.constData());
    return QStringLiteral("cannot replace %1: %2").arg(target, systemError(renameError));
  }
  return {};
}

}  // namespace

LogArchive::LogArchive() {
  zip_error_t error;
  zip_error_init(&error);
  buffer = zip_source_buffer_create(nullptr, 0, 0, &error);
  if (buffer != nullptr) {
    archive = zip_open_from_source(buffer, ZIP_TRUNCATE, &error);
    if (archive != nullptr) {
      // The archive owns one reference; this one keeps the finished bytes readable after zip_close.
      zip_source_keep(buffer);
    } else {
      zip_source_free(buffer);
      buffer = nullptr;
    }
  }
  if (archive == nullptr) failureText = QString::fromUtf8(zip_error_strerror(&error));
  zip_error_fini(&error);
}

LogArchive::~LogArchive() {
  if (archive != nullptr) zip_discard(archive);
  if (buffer != nullptr) zip_source_free(buffer);
}

bool LogArchive::fail(const QString& reason) {
  failureText = reason;
  return false;
}

bool LogArchive::addEntry(const QString& entryName, const QByteArray& content) {
  if (archive == nullptr) return fail(QStringLiteral("the archive is not open"));
  const QByteArray& kept = contents.emplace_back(content);
  zip_source_t* source = zip_source_buffer(archive, kept.constData(), static_cast<zip_uint64_t>(kept.size()), 0);
  if (source == nullptr) return fail(QString::fromUtf8(zip_strerror(archive)));
  const zip_int64_t index =
      zip_file_add(archive, entryName.toUtf8().constData(), source, ZIP_FL_OVERWRITE | ZIP_FL_ENC_UTF_8);
  if (index < 0) {
    zip_source_free(source);
    return fail(QString::fromUtf8(zip_strerror(archive)));
  }
  if (zip_set_file_compression(archive, static_cast<zip_uint64_t>(index), ZIP_CM_DEFLATE, kDeflateLevel) != 0) {
    return fail(QString::fromUtf8(zip_strerror(archive)));
  }
  return true;
}

QByteArray LogArchive::finishedBytes() {
  if (zip_close(archive) != 0) {
    fail(QString::fromUtf8(zip_strerror(archive)));
    return {};
  }
  archive = nullptr;
  contents.clear();
  // libzip removes an archive without entries instead of writing it.
  if (zip_source_is_deleted(buffer)) {
    fail(QStringLiteral("the archive has no entries"));
    return {};
  }
  zip_stat_t stat;
  zip_stat_init(&stat);
  if (zip_source_stat(buffer, &stat) != 0 || (stat.valid & ZIP_STAT_SIZE) == 0 || zip_source_open(buffer) != 0) {
    fail(QStringLiteral("cannot read the finished archive"));
    return {};
  }
  QByteArray bytes(static_cast<int>(stat.size), Qt::Uninitialized);
  const zip_int64_t read = zip_source_read(buffer, bytes.data(), stat.size);
  zip_source_close(buffer);
  if (read != static_cast<zip_int64_t>(stat.size)) {
    fail(QStringLiteral("cannot read the finished archive"));
    return {};
  }
  return bytes;
}

bool LogArchive::writeTo(const QString& archivePath) {
  if (archive == nullptr) return fail(QStringLiteral("the archive is not open"));
  const QByteArray bytes = finishedBytes();
  if (bytes.isEmpty()) return false;
  const QString writeFailure = writePrivately(archivePath, bytes);
  if (!writeFailure.isEmpty()) return fail(writeFailure);
  return true;
}
