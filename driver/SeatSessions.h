// SPDX-License-Identifier: Apache-2.0
#pragma once
// Who sits at a seat: the one question about login sessions the driver's access check asks. Asked by uid, never
// by pid: a program the user's own service manager started belongs to no session, yet it is the seated user's.
// Tests answer it themselves, since the login manager's records are files a test cannot fake.

#include <sys/types.h>

namespace kelvo::driver {

class SeatSessions {
 public:
  virtual ~SeatSessions() = default;
  // True when `uid` has an active session on a seat of this machine (not a remote one).
  virtual bool hasActiveLocalSession(uid_t uid) = 0;
};

}  // namespace kelvo::driver
