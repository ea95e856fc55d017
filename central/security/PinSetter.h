// SPDX-License-Identifier: Apache-2.0
#pragma once
// Changes a card's PIN, or unblocks it with the PUK, through a PKCS#11 module: the slot is the first whose
// description holds the reader's identifier, a change logs in with the current PIN first, an unblock calls
// C_SetPIN in a session without login (OpenSC allows that only with user_pin_unblock_style =
// set_pin_in_unlogged_session, which the application's own OpenSC configuration sets).
//
// Every request ends in exactly one outcome; failures that the user cannot act on are reported as messages first.
// The secrets are copied once into buffers that are wiped when the request ends.

#include <QString>
#include <functional>

class Pkcs11Module;

class PinSetter {
 public:
  enum class Outcome { kSuccess, kIncorrect, kFailed, kBlocked, kInvalid };
  using MessageSink = std::function<void(const QString&)>;

  PinSetter(QString moduleName, MessageSink errorSink);

  Outcome change(const QString& identifier, const QString& currentPin, const QString& newPin);
  Outcome unblock(const QString& identifier, const QString& puk, const QString& newPin);

 private:
  Outcome run(const QString& identifier, const QString& oldSecret, const QString& newPin, bool loginFirst);
  Outcome fail(const QString& message);
  bool findSlot(Pkcs11Module& module, const QString& identifier, unsigned long& slot);

  QString moduleName;
  MessageSink errorSink;
};
