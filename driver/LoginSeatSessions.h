// SPDX-License-Identifier: Apache-2.0
#pragma once
// The seat view of the login manager (sd-login): a uid sits at a seat when one of its sessions is active, has a
// seat, and is not remote. Without a login manager nobody sits at a seat.

#include "SeatSessions.h"

namespace kelvo::driver {

class LoginSeatSessions : public SeatSessions {
 public:
  bool hasActiveLocalSession(uid_t uid) override;

 private:
  static bool isActiveLocalSession(const char* session);
};

}  // namespace kelvo::driver
