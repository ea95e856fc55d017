// SPDX-License-Identifier: Apache-2.0
#include "SingleInstance.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>

SingleInstance::SingleInstance(std::string lockFilePath) : path(std::move(lockFilePath)) {}

SingleInstance::~SingleInstance() { release(); }

std::string SingleInstance::defaultLockFilePath() {
  const char* runtime = std::getenv("XDG_RUNTIME_DIR");
  if (runtime != nullptr && *runtime != '\0') return std::string(runtime) + "/KelvoCentral.lock";
  // Without a session runtime directory the lock still has to be per user.
  return "/tmp/KelvoCentral-" + std::to_string(::getuid()) + ".lock";
}

// A lock file that another user made (in a shared /tmp, or one planted in a runtime directory) could be held by
// that user for ever, which would keep the application from starting; only our own regular file is trusted.
std::string SingleInstance::untrustedReason(int openedFd) const {
  struct stat status {};
  if (::fstat(openedFd, &status) != 0) return "cannot examine " + path + ": " + std::strerror(errno);
  if (!S_ISREG(status.st_mode)) return path + " is not a regular file; not trusted as the lock file";
  if (status.st_uid != ::getuid()) {
    return path + " belongs to uid " + std::to_string(status.st_uid) + ", not to this user (uid " +
           std::to_string(::getuid()) + "); not trusted as the lock file";
  }
  return {};
}

SingleInstance::Claim SingleInstance::claim() {
  if (fd >= 0) return Claim::acquired;
  // O_NONBLOCK: a FIFO planted under the name must not stall the start before fstat can refuse it.
  const int opened = ::open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK, 0600);
  if (opened < 0) {
    const int error = errno;
    failureText = "cannot open " + path + ": " + std::strerror(error);
    if (error == ELOOP) failureText += " (a symbolic link, which is not followed)";
    return Claim::unavailable;
  }
  const std::string untrusted = untrustedReason(opened);
  if (!untrusted.empty()) {
    ::close(opened);
    failureText = untrusted;
    return Claim::unavailable;
  }
  int result;
  do {
    result = ::flock(opened, LOCK_EX | LOCK_NB);
  } while (result != 0 && errno == EINTR);
  if (result != 0) {
    const int error = errno;
    ::close(opened);
    if (error == EWOULDBLOCK) return Claim::heldByAnother;
    failureText = "cannot lock " + path + ": " + std::strerror(error);
    return Claim::unavailable;
  }
  fd = opened;
  return Claim::acquired;
}

void SingleInstance::release() {
  if (fd < 0) return;
  ::flock(fd, LOCK_UN);
  ::close(fd);
  fd = -1;
}
