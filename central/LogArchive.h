// SPDX-License-Identifier: Apache-2.0
#pragma once
// A ZIP archive built in memory with libzip, every entry deflated at level 9, then written to its file in one go.
// Log archives carry reader addresses and user names and are often written into shared folders, so libzip's own
// file handling (a guessable temporary name beside the archive, created with the umask's mode) is not used: the
// bytes go to a fresh temporary file of random name, opened with O_CREAT|O_EXCL|O_NOFOLLOW and mode 0600, which is
// renamed over the archive's name. A symbolic link planted at the archive's name is replaced, never followed, and
// a failed export never leaves half an archive behind.

#include <QByteArray>
#include <QString>
#include <list>

struct zip;
struct zip_source;

class LogArchive {
 public:
  LogArchive();
  ~LogArchive();
  LogArchive(const LogArchive&) = delete;
  LogArchive& operator=(const LogArchive&) = delete;

  bool isOpen() const { return archive != nullptr; }
  bool addEntry(const QString& entryName, const QByteArray& content);
  // Finishes the archive and writes it to the path. The archive cannot be used afterwards.
  bool writeTo(const QString& archivePath);
  // Why the last addEntry or writeTo failed.
  const QString& failure() const { return failureText; }

 private:
  bool fail(const QString& reason);
  QByteArray finishedBytes();

  zip_source* buffer = nullptr;
  zip* archive = nullptr;
  // libzip reads entry data only when the archive is finished; the contents live here until then.
  std::list<QByteArray> contents;
  QString failureText;
};
