// SPDX-License-Identifier: Apache-2.0
#pragma once
// Decides whether a reader holds the card of the user who is logged on: a certificate on the token in the reader's
// PKCS#11 slot (the slot whose description holds the reader's address) whose subject common name is the user's
// display name. Certificates are read from the token without logging in; nothing on the card needs the PIN.
//
// A certificate or slot that cannot be read is reported and passed over; the search goes on with the next.

#include <p11-kit/pkcs11.h>

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <functional>
#include <vector>

class Pkcs11Module;

class CertificateAuthorizer {
 public:
  using MessageSink = std::function<void(const QString&)>;

  // `errorSink` gets a failure to use the module at all; `verboseSink` the rest.
  CertificateAuthorizer(QString moduleName, MessageSink errorSink, MessageSink verboseSink);

  bool authorizeViaReader(const QString& address, const QString& userName);

  // The subject common names of a DER certificate, as UTF-8 text; none when it does not parse.
  static QStringList subjectCommonNames(const QByteArray& der);

 private:
  bool slotHoldsUser(Pkcs11Module& module, CK_SLOT_ID slot, const QString& userName);
  bool findCertificates(CK_FUNCTION_LIST* functions, CK_SESSION_HANDLE session, std::vector<CK_OBJECT_HANDLE>& found);
  bool readValue(CK_FUNCTION_LIST* functions, CK_SESSION_HANDLE session, CK_OBJECT_HANDLE object, QByteArray& value);
  void report(const char* call, CK_RV result);

  QString moduleName;
  MessageSink errorSink;
  MessageSink verboseSink;
};
