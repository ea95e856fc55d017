// SPDX-License-Identifier: Apache-2.0
#pragma once
// The display name of the user who runs the application: the full-name field of the account's GECOS entry
// (the text before its first comma). Empty when the account has none, which turns authorisation off.

#include <sys/types.h>
#include <QString>

class LoggedOnUser {
 public:
  static QString displayName();
  static QString displayNameOf(uid_t user);
  // The full name within a GECOS field ("Ada Lovelace,Room 1,,").
  static QString fullNameOf(const char* gecos);
};
