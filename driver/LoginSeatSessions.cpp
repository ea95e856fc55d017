// SPDX-License-Identifier: Apache-2.0
#include "LoginSeatSessions.h"

#include <systemd/sd-login.h>

#include <cstdlib>

namespace kelvo::driver {

bool LoginSeatSessions::hasActiveLocalSession(uid_t uid) {
  char** sessions = nullptr;
  const int count = sd_uid_get_sessions(uid, 1, &sessions);
  bool seated = false;
  for (int i = 0; i < count; ++i) {
    seated = seated || isActiveLocalSession(sessions[i]);
    std::free(sessions[i]);
  }
  std::free(sessions);
  return seated;
}

bool LoginSeatSessions::isActiveLocalSession(const char* session) {
  // An error on any question counts against the session: doubt never lets a peer in.
  if (sd_session_is_active(session) <= 0 || sd_session_is_remote(session) != 0) return false;
  char* seat = nullptr;
  const bool hasSeat = sd_session_get_seat(session, &seat) >= 0 && seat != nullptr && seat[0] != '\0';
  std::free(seat);
  return hasSeat;
}

}  // namespace kelvo::driver
