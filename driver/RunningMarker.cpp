// SPDX-License-Identifier: Apache-2.0
#include "RunningMarker.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace kelvo::driver {

RunningMarker::RunningMarker(std::string runtimeDirectory) : path(std::move(runtimeDirectory) + "/" + kFileName) {}

RunningMarker::~RunningMarker() {
  if (fd < 0) return;
  // Removed while the lock is still held, so no other driver's fresh file is ever taken away.
  ::unlink(path.c_str());
  ::close(fd);
}

bool RunningMarker::take(std::string& failure) {
  fd = ::open(path.c_str(), O_RDWR | O_CREAT | O_NOFOLLOW | O_CLOEXEC, 0644);
  if (fd < 0) {
    failure = path + ": " + std::strerror(errno);
    return false;
  }
  struct stat status {};
  if (::fstat(fd, &status) != 0 || !S_ISREG(status.st_mode) || status.st_uid != ::geteuid()) {
    failure = path + ": not a regular file of the driver's user";
    ::close(fd);
    fd = -1;
    return false;
  }
  if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
    failure = errno == EWOULDBLOCK ? "another kelvo-driver runs on " + path : path + ": " + std::strerror(errno);
    ::close(fd);
    fd = -1;
    return false;
  }
  // Readable for all (the service's umask would say otherwise): kelvo-cli of any user tests the lock.
  ::fchmod(fd, 0644);
  const std::string pid = std::to_string(::getpid()) + "\n";
  if (::ftruncate(fd, 0) != 0 || ::pwrite(fd, pid.data(), pid.size(), 0) != static_cast<ssize_t>(pid.size())) {
    failure = path + ": " + std::strerror(errno);
    return false;
  }
  return true;
}

bool RunningMarker::heldIn(const std::string& runtimeDirectory) {
  const std::string file = runtimeDirectory + "/" + kFileName;
  const int probe = ::open(file.c_str(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC);
  if (probe < 0) return false;
  const bool held = ::flock(probe, LOCK_SH | LOCK_NB) != 0 && errno == EWOULDBLOCK;
  ::close(probe);
  return held;
}

}  // namespace kelvo::driver
