// SPDX-License-Identifier: Apache-2.0
#pragma once
// The smart-card logon of this session and the reader it came from. A session opened with a smart card carries
// the token's label in PKCS11_LOGIN_TOKEN_NAME (set by the PAM modules that log on with a card); without it the
// session was opened otherwise and nothing is locked for a card.
//
// The logon reader is the PC/SC reader in which a token of that label was last seen through PKCS#11. It is
// remembered in the user's settings per label, so it is known at the next start even when the reader is not there.
// Reader names are compared without the numbers pcscd appends ("Kelvo 001a7dda7113 00 00"), which depend on the
// order in which readers came to pcscd.

#include <QString>

class LogonReader {
 public:
  // The logon token's label; empty when the session was not opened with a smart card.
  static QString tokenLabel();

  static QString remembered(const QString& label);
  static void remember(const QString& label, const QString& reader);

  // Whether the token in `reader` (a PC/SC reader name) has the label; false when it cannot be read.
  static bool holdsToken(const QString& moduleName, const QString& reader, const QString& label);

  // A reader name without pcscd's reader and slot numbers.
  static QString baseName(const QString& reader);
  static bool sameReader(const QString& first, const QString& second);
};
