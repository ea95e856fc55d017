// SPDX-License-Identifier: Apache-2.0
#include "OwnedFiles.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>

namespace kelvo::driver {
namespace {

// Closes the descriptor on every way out that does not hand it on.
class FdGuard {
 public:
  explicit FdGuard(int fd) : fd(fd) {}
  ~FdGuard() {
    if (fd >= 0) ::close(fd);
  }
  FdGuard(const FdGuard&) = delete;
  FdGuard& operator=(const FdGuard&) = delete;
  int get() const { return fd; }
  int release() {
    const int kept = fd;
    fd = -1;
    return kept;
  }

 private:
  int fd;
};

bool failWith(std::string& failure, const std::string& path, const std::string& why) {
  failure = path + ": " + why;
  return false;
}

std::string openError(int error) {
  return error == ELOOP ? std::string("a symbolic link") : std::string(std::strerror(error));
}

}  // namespace

bool OwnedFiles::prepareDirectory(const std::string& path, mode_t mode, std::string& failure) {
  const std::filesystem::path parent = std::filesystem::path(path).parent_path();
  std::error_code error;
  if (!parent.empty()) std::filesystem::create_directories(parent, error);
  if (error) return failWith(failure, parent.string(), error.message());
  // mkdir never follows a link in the last component: an existing link makes it fail with EEXIST, and the open
  // below refuses it.
  if (::mkdir(path.c_str(), mode) != 0 && errno != EEXIST) return failWith(failure, path, std::strerror(errno));
  FdGuard directory(::open(path.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
  if (directory.get() < 0) return failWith(failure, path, openError(errno));
  if (!isOurs(directory.get(), path, S_IFDIR, true, failure)) return false;
  if (::fchmod(directory.get(), mode) != 0) return failWith(failure, path, std::strerror(errno));
  return true;
}

bool OwnedFiles::clearSocketPath(const std::string& path, std::string& failure) {
  struct stat status {};
  if (::lstat(path.c_str(), &status) != 0) {
    return errno == ENOENT || failWith(failure, path, std::strerror(errno));
  }
  if (!S_ISSOCK(status.st_mode) || status.st_uid != ::geteuid()) {
    const char* kind = S_ISLNK(status.st_mode) ? "symbolic link" : S_ISSOCK(status.st_mode) ? "socket" : "file";
    return failWith(failure, path,
                    std::string("a ") + kind + " of uid " + std::to_string(status.st_uid) + " is in the way");
  }
  // A socket left by a driver that did not stop cleanly would make bind fail.
  if (::unlink(path.c_str()) != 0 && errno != ENOENT) return failWith(failure, path, std::strerror(errno));
  return true;
}

bool OwnedFiles::setModeOf(const std::string& path, mode_t mode, std::string& failure) {
  if (::fchmodat(AT_FDCWD, path.c_str(), mode, AT_SYMLINK_NOFOLLOW) != 0) {
    return failWith(failure, path, std::strerror(errno));
  }
  return true;
}

int OwnedFiles::openForAppend(const std::string& path, mode_t mode, std::optional<gid_t> group, std::string& failure) {
  FdGuard file(::open(path.c_str(), O_WRONLY | O_APPEND | O_CREAT | O_NOFOLLOW | O_NOCTTY | O_CLOEXEC, mode));
  if (file.get() < 0) {
    failWith(failure, path, openError(errno));
    return -1;
  }
  if (!isOurs(file.get(), path, S_IFREG, false, failure) ||
      !applyModeAndGroup(file.get(), path, mode, group, failure)) {
    return -1;
  }
  return file.release();
}

bool OwnedFiles::tighten(const std::string& path, mode_t mode, std::optional<gid_t> group, std::string& failure) {
  // O_NONBLOCK: a FIFO planted in place of the file must not hang the open.
  FdGuard file(::open(path.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY | O_CLOEXEC));
  if (file.get() < 0) return errno == ENOENT || failWith(failure, path, openError(errno));
  return isOurs(file.get(), path, S_IFREG, false, failure) && applyModeAndGroup(file.get(), path, mode, group, failure);
}

bool OwnedFiles::isOurs(int fd, const std::string& path, mode_t kind, bool refuseWritableByOthers,
                        std::string& failure) {
  struct stat status {};
  if (::fstat(fd, &status) != 0) return failWith(failure, path, std::strerror(errno));
  if ((status.st_mode & S_IFMT) != kind) {
    return failWith(failure, path, kind == S_IFDIR ? "not a directory" : "not a regular file");
  }
  if (status.st_uid != ::geteuid()) {
    return failWith(failure, path, "owned by uid " + std::to_string(status.st_uid) + ", not by the driver");
  }
  // Write access for the driver's own group is no one else's (a user-private group, or root's): it is merely
  // taken away below. Any other group, or everyone, may have been there first.
  const bool othersMayWrite =
      (status.st_mode & S_IWOTH) != 0 || ((status.st_mode & S_IWGRP) != 0 && status.st_gid != ::getegid());
  if (refuseWritableByOthers && othersMayWrite) {
    char mode[8];
    std::snprintf(mode, sizeof(mode), "%04o", static_cast<unsigned>(status.st_mode & 07777));
    return failWith(failure, path, std::string("writable by others (mode ") + mode + ")");
  }
  return true;
}

bool OwnedFiles::applyModeAndGroup(int fd, const std::string& path, mode_t mode, std::optional<gid_t> group,
                                   std::string& failure) {
  // A driver not running as root may not hand its file to the group: then the group gets no access either,
  // rather than whichever group the file happens to have.
  if (group && ::fchown(fd, static_cast<uid_t>(-1), *group) != 0) mode &= ~static_cast<mode_t>(S_IRWXG);
  if (::fchmod(fd, mode) != 0) return failWith(failure, path, std::strerror(errno));
  return true;
}

}  // namespace kelvo::driver
