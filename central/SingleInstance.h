// SPDX-License-Identifier: Apache-2.0
#pragma once
// One Kelvo Central per user session: an exclusive flock on $XDG_RUNTIME_DIR/KelvoCentral.lock, held for the whole
// run. The kernel drops the lock when the holder dies, so a crashed run never blocks the next start. The file is
// trusted only when it is a regular file of this user, reached without following a symbolic link; anything else
// makes the claim `unavailable` with the reason, and the application runs without the guard rather than not at all.
// Plain POSIX on purpose: the check runs before any Qt object exists.

#include <string>

class SingleInstance {
 public:
  enum class Claim { acquired, heldByAnother, unavailable };

  explicit SingleInstance(std::string lockFilePath = defaultLockFilePath());
  ~SingleInstance();
  SingleInstance(const SingleInstance&) = delete;
  SingleInstance& operator=(const SingleInstance&) = delete;

  Claim claim();
  void release();

  const std::string& lockFilePath() const { return path; }
  // The reason of the last `unavailable` claim.
  const std::string& failure() const { return failureText; }

  static std::string defaultLockFilePath();

 private:
  // Empty when the opened file may serve as the lock.
  std::string untrustedReason(int openedFd) const;

  std::string path;
  std::string failureText;
  int fd = -1;
};
