// SPDX-License-Identifier: Apache-2.0
#include "LogExport.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QDir>
#include <QFile>
#include <cerrno>
#include <cstring>

#include "LogArchive.h"

namespace {

const QString kDriverLogName = QStringLiteral("driver.log");
const QString kPreviousGeneration = QStringLiteral(".1");

struct LogFileContent {
  QByteArray bytes;
  // Why the file could not be read, or a note on what of it was left out; empty when it was read whole.
  QString problem;
  bool readable = false;
};

QString openProblem(int error) {
  switch (error) {
    case ENOENT:
      return QStringLiteral("does not exist");
    case EACCES:
    case EPERM:
      return QStringLiteral("this user may not read it");
    case ELOOP:
      return QStringLiteral("is a symbolic link, which is not followed");
    default:
      return QString::fromLocal8Bit(std::strerror(error));
  }
}

bool readToEnd(int fd, QByteArray& bytes) {
  char chunk[64 * 1024];
  for (;;) {
    const ssize_t count = ::read(fd, chunk, sizeof chunk);
    if (count < 0 && errno == EINTR) continue;
    if (count < 0) return false;
    if (count == 0) return true;
    bytes.append(chunk, static_cast<int>(count));
  }
}

LogFileContent readFileTail(int fd, qint64 size) {
  LogFileContent content;
  if (size > LogExport::kMaxEntrySize) {
    ::lseek(fd, static_cast<off_t>(size - LogExport::kMaxEntrySize), SEEK_SET);
    content.problem =
        QStringLiteral("only its last %1 bytes of %2 are included").arg(LogExport::kMaxEntrySize).arg(size);
  }
  content.readable = readToEnd(fd, content.bytes);
  if (!content.readable) content.problem = QString::fromLocal8Bit(std::strerror(errno));
  return content;
}

// O_NONBLOCK keeps a FIFO planted under a log's name from stalling the export before fstat can refuse it.
LogFileContent readLogFile(const QString& path) {
  const int fd = ::open(QFile::encodeName(path).constData(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) return {{}, openProblem(errno), false};
  struct stat status {};
  LogFileContent content;
  if (::fstat(fd, &status) != 0) {
    content.problem = QString::fromLocal8Bit(std::strerror(errno));
  } else if (!S_ISREG(status.st_mode)) {
    content.problem = QStringLiteral("is not a regular file");
  } else {
    content = readFileTail(fd, static_cast<qint64>(status.st_size));
  }
  ::close(fd);
  return content;
}

}  // namespace

const QString LogExport::kWindowLogName = QStringLiteral("central.log");
const QString LogExport::kApplicationLogName = QStringLiteral("application.log");
const QString LogExport::kNotIncludedName = QStringLiteral("not-included.txt");

LogExport::LogExport(QString windowText, QString applicationLogPath, QString dataDirectory)
    : windowText(std::move(windowText)),
      applicationLogPath(std::move(applicationLogPath)),
      dataDirectory(std::move(dataDirectory)) {}

bool LogExport::writeTo(const QString& archivePath) {
  leftOut.clear();
  LogArchive archive;
  bool complete = archive.addEntry(kWindowLogName, windowText.toUtf8());
  addLogFile(archive, applicationLogPath, kApplicationLogName);
  addLogFile(archive, applicationLogPath + kPreviousGeneration, kApplicationLogName + kPreviousGeneration);
  const QDir directory(dataDirectory);
  for (const QString& name : dataDirectoryLogs()) addLogFile(archive, directory.filePath(name), name);
  complete = complete && archive.addEntry(kNotIncludedName, notIncludedText());
  complete = complete && archive.writeTo(archivePath);
  failureText = complete ? QString() : archive.failure();
  return complete;
}

void LogExport::addLogFile(LogArchive& archive, const QString& filePath, const QString& entryName) {
  const LogFileContent content = readLogFile(filePath);
  if (!content.problem.isEmpty()) leftOut << QStringLiteral("%1 (%2): %3").arg(entryName, filePath, content.problem);
  if (content.readable && !archive.addEntry(entryName, content.bytes)) {
    leftOut << QStringLiteral("%1 (%2): %3").arg(entryName, filePath, archive.failure());
  }
}

// The driver's two logs are always looked for, so that the list says when they are missing; the other logs of
// the data directory (the emulators') are taken as they are found.
QStringList LogExport::dataDirectoryLogs() const {
  QStringList names{kDriverLogName, kDriverLogName + kPreviousGeneration};
  // System brings dangling links and FIFOs, so that the list names them too.
  const QStringList found =
      QDir(dataDirectory).entryList({QStringLiteral("*.log")}, QDir::Files | QDir::System | QDir::Hidden, QDir::Name);
  for (const QString& name : found) {
    if (!names.contains(name)) names << name;
  }
  return names;
}

QByteArray LogExport::notIncludedText() const {
  if (leftOut.isEmpty()) return QByteArrayLiteral("Every log was included.\n");
  return (QStringLiteral("Not included in this archive:\n") + leftOut.join(QLatin1Char('\n')) + QLatin1Char('\n'))
      .toUtf8();
}
