#include "SingleInstance.h"

#include <fcntl.h>
#include <sys/file.h>
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

SingleInstance::Claim SingleInstance::claim() {
  if (fd >= 0) return Claim::acquired;
  const int opened = ::open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0600);
  if (opened < 0) {
    failureText = "cannot open " + path + ": " + std::strerror(errno);
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
