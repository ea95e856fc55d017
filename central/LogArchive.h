#pragma once
// A ZIP archive written with libzip, every entry deflated at level 9. An existing archive of the same name is
// replaced; libzip writes to a temporary file and renames it at finish, so a failed export never leaves half an
// archive behind.

#include <QString>

struct zip;

class LogArchive {
 public:
  explicit LogArchive(const QString& archivePath);
  ~LogArchive();
  LogArchive(const LogArchive&) = delete;
  LogArchive& operator=(const LogArchive&) = delete;

  bool isOpen() const { return archive != nullptr; }
  // The file is read when the archive is finished, so it must stay until then.
  bool addFile(const QString& filePath, const QString& entryName);
  bool finish();

 private:
  zip* archive = nullptr;
};
