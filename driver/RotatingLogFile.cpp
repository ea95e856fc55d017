// SPDX-License-Identifier: Apache-2.0
#include "RotatingLogFile.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <memory>

#include "OwnedFiles.h"
#include "trevalon/common/Log.h"

namespace kelvo::driver {

RotatingLogFile::RotatingLogFile(std::string path, size_t limitBytes, const std::string& groupName)
    : path(std::move(path)), limit(limitBytes), group(DriverGroup::idOf(groupName)) {
  std::lock_guard<std::mutex> guard(lock);
  // An older file an earlier version left readable by all is tightened too.
  std::string failure;
  if (!OwnedFiles::tighten(this->path + ".1", kMode, group, failure)) reportFailure(failure);
  openLocked();
}

RotatingLogFile::~RotatingLogFile() {
  std::lock_guard<std::mutex> guard(lock);
  if (file) std::fclose(file);
}

bool RotatingLogFile::isOpen() {
  std::lock_guard<std::mutex> guard(lock);
  return file != nullptr;
}

bool RotatingLogFile::openLocked() {
  std::string failure;
  const int fd = OwnedFiles::openForAppend(path, kMode, group, failure);
  if (fd < 0) {
    reportFailure(failure);
    return false;
  }
  file = ::fdopen(fd, "a");
  if (!file) {
    ::close(fd);
    return false;
  }
  struct stat status {};
  size = ::fstat(fileno(file), &status) == 0 ? static_cast<size_t>(status.st_size) : 0;
  return true;
}

void RotatingLogFile::reportFailure(const std::string& failure) {
  // Standard error, not the library log: this file is one of the log's sinks, and its lock is held here.
  std::fprintf(stderr, "kelvo-driver: not logging to %s\n", failure.c_str());
}

void RotatingLogFile::rotateLocked() {
  std::fclose(file);
  file = nullptr;
  std::rename(path.c_str(), (path + ".1").c_str());
  openLocked();
}

void RotatingLogFile::write(const std::string& line) {
  std::lock_guard<std::mutex> guard(lock);
  if (!file) return;
  // Lines come finished with their newline; one without gets it here, so the file stays one line per entry.
  const bool finished = !line.empty() && line.back() == '\n';
  const size_t length = line.size() + (finished ? 0 : 1);
  if (size > 0 && size + length > limit) {
    rotateLocked();
    if (!file) return;
  }
  std::fputs(line.c_str(), file);
  if (!finished) std::fputc('\n', file);
  std::fflush(file);
  size += length;
}

bool RotatingLogFile::enableIfMarked(const std::string& dataDirectory) {
  struct stat status {};
  if (::stat((dataDirectory + "/logging").c_str(), &status) != 0) return false;
  // Shared with the sink, which the log keeps for the rest of the process.
  auto logFile = std::make_shared<RotatingLogFile>(dataDirectory + "/driver.log");
  if (!logFile->isOpen()) return false;
  trevalon::common::addLogSink(
      0xFF, [logFile](const std::string& line) { logFile->write(line); }, "driver.log");
  return true;
}

}  // namespace kelvo::driver
