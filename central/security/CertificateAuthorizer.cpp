// SPDX-License-Identifier: Apache-2.0
#include "security/CertificateAuthorizer.h"

#include <openssl/x509.h>

#include <QStringList>
#include <memory>
#include <utility>

#include "security/Pkcs11Module.h"

namespace {

// Tokens hold a handful of certificates; the search is read in batches of this size.
constexpr CK_ULONG kFindBatch = 16;

// Reader names carry the address as 12 hex digits; a descriptor may write it with separators.
QString bareAddress(const QString& address) {
  QString bare = address;
  bare.remove(QLatin1Char(':'));
  bare.remove(QLatin1Char('-'));
  return bare;
}

QString errorNumber(CK_RV result) {
  return QStringLiteral("%1").arg(static_cast<qulonglong>(result), 8, 16, QLatin1Char('0'));
}

}  // namespace

CertificateAuthorizer::CertificateAuthorizer(QString moduleName, MessageSink errorSink, MessageSink verboseSink)
    : moduleName(std::move(moduleName)), errorSink(std::move(errorSink)), verboseSink(std::move(verboseSink)) {}

bool CertificateAuthorizer::authorizeViaReader(const QString& address, const QString& userName) {
  const QString identifier = bareAddress(address);
  if (identifier.isEmpty()) return false;
  Pkcs11Module module(moduleName);
  if (!module.open()) {
    errorSink(module.error());
    return false;
  }
  for (const CK_SLOT_ID slot : module.slotList()) {
    Pkcs11Module::SlotInfo info;
    if (!module.slotInfo(slot, info)) {
      verboseSink(module.error());
      continue;
    }
    if (!info.tokenPresent || !info.description.contains(identifier, Qt::CaseInsensitive)) continue;
    if (slotHoldsUser(module, slot, userName)) {
      verboseSink(QStringLiteral("Authorized via the reader: %1").arg(info.description));
      return true;
    }
  }
  return false;
}

bool CertificateAuthorizer::slotHoldsUser(Pkcs11Module& module, CK_SLOT_ID slot, const QString& userName) {
  CK_FUNCTION_LIST* functions = module.functions();
  CK_SESSION_HANDLE session = 0;
  const CK_RV opened = functions->C_OpenSession(slot, CKF_SERIAL_SESSION, nullptr, nullptr, &session);
  if (opened != CKR_OK) {
    report("C_OpenSession", opened);
    return false;
  }
  std::vector<CK_OBJECT_HANDLE> certificates;
  bool holdsUser = false;
  if (findCertificates(functions, session, certificates)) {
    for (const CK_OBJECT_HANDLE certificate : certificates) {
      QByteArray der;
      if (!readValue(functions, session, certificate, der)) continue;
      const QStringList names = subjectCommonNames(der);
      if (names.isEmpty()) verboseSink(QStringLiteral("Failed to parse a certificate of the token"));
      if (names.contains(userName)) {
        holdsUser = true;
        break;
      }
    }
  }
  functions->C_CloseSession(session);
  return holdsUser;
}

bool CertificateAuthorizer::findCertificates(CK_FUNCTION_LIST* functions, CK_SESSION_HANDLE session,
                                             std::vector<CK_OBJECT_HANDLE>& found) {
  CK_OBJECT_CLASS certificateClass = CKO_CERTIFICATE;
  CK_ATTRIBUTE filter{CKA_CLASS, &certificateClass, sizeof(certificateClass)};
  CK_RV result = functions->C_FindObjectsInit(session, &filter, 1);
  if (result != CKR_OK) {
    report("C_FindObjectsInit", result);
    return false;
  }
  CK_OBJECT_HANDLE batch[kFindBatch];
  CK_ULONG count = 0;
  do {
    result = functions->C_FindObjects(session, batch, kFindBatch, &count);
    if (result != CKR_OK) {
      report("C_FindObjects", result);
      break;
    }
    found.insert(found.end(), batch, batch + count);
  } while (count == kFindBatch);
  functions->C_FindObjectsFinal(session);
  return result == CKR_OK;
}

bool CertificateAuthorizer::readValue(CK_FUNCTION_LIST* functions, CK_SESSION_HANDLE session, CK_OBJECT_HANDLE object,
                                      QByteArray& value) {
  CK_ATTRIBUTE attribute{CKA_VALUE, nullptr, 0};
  CK_RV result = functions->C_GetAttributeValue(session, object, &attribute, 1);
  if (result != CKR_OK || attribute.ulValueLen == CK_UNAVAILABLE_INFORMATION) {
    report("C_GetAttributeValue", result);
    return false;
  }
  // A certificate larger than this is not a user certificate on a smart card.
  constexpr CK_ULONG kLargestCertificate = 64UL * 1024UL;
  if (attribute.ulValueLen == 0 || attribute.ulValueLen > kLargestCertificate) {
    verboseSink(QStringLiteral("Skipped a certificate of %1 bytes").arg(attribute.ulValueLen));
    return false;
  }
  value.resize(static_cast<int>(attribute.ulValueLen));
  attribute.pValue = value.data();
  result = functions->C_GetAttributeValue(session, object, &attribute, 1);
  if (result != CKR_OK) {
    report("C_GetAttributeValue", result);
    return false;
  }
  value.resize(static_cast<int>(attribute.ulValueLen));
  return true;
}

void CertificateAuthorizer::report(const char* call, CK_RV result) {
  verboseSink(QStringLiteral("Failed %1 with error %2").arg(QLatin1String(call), errorNumber(result)));
}

QStringList CertificateAuthorizer::subjectCommonNames(const QByteArray& der) {
  QStringList names;
  const auto* cursor = reinterpret_cast<const unsigned char*>(der.constData());
  std::unique_ptr<X509, decltype(&X509_free)> certificate(d2i_X509(nullptr, &cursor, der.size()), X509_free);
  if (!certificate) return names;
  const X509_NAME* subject = X509_get_subject_name(certificate.get());
  for (int index = X509_NAME_get_index_by_NID(subject, NID_commonName, -1); index >= 0;
       index = X509_NAME_get_index_by_NID(subject, NID_commonName, index)) {
    const ASN1_STRING* data = X509_NAME_ENTRY_get_data(X509_NAME_get_entry(subject, index));
    unsigned char* utf8 = nullptr;
    const int length = ASN1_STRING_to_UTF8(&utf8, data);
    if (length < 0) continue;
    names.append(QString::fromUtf8(reinterpret_cast<const char*>(utf8), length));
    OPENSSL_free(utf8);
  }
  return names;
}
