// SPDX-License-Identifier: Apache-2.0
#pragma once
// Locks the user's graphical session through logind (org.freedesktop.login1.Manager.LockSession), which makes the
// desktop's screen locker lock. The session is XDG_SESSION_ID's when the program runs inside one; a program started
// by the user's systemd manager belongs to no session, so then it is the user's display session as logind knows it.
//
// Two mechanisms may ask for a lock because of one event (a reader's card leaving is seen by the device and by
// the lock task), so a lock asked for within kRepeatWindowMs of the last one that succeeded is not repeated.
// Blocking D-Bus calls: called from the device manager's and the lock task's threads, never the window's.

#include <QString>

class WorkstationLocker {
 public:
  enum class Result { kLocked, kNotRepeated, kFailed };
  static constexpr int kRepeatWindowMs = 5000;
  static constexpr int kCallTimeoutMs = 5000;

  // On kFailed, `failure` says why (the D-Bus error's name and message, or what was missing).
  static Result lock(QString& failure);
  // Forgets the last lock, so the next request locks again (a new session of the tests).
  static void forgetLastLock();

 private:
  static bool lockedRecently();
  static void noteLock();
  static QString sessionId(QString& failure);
  static QString displaySessionOfUser(QString& failure);
};
