// SPDX-License-Identifier: Apache-2.0
#pragma once
// The scripted PKCS#11 test module from a test's side: a script to write, the calls it logged, and self-signed
// certificates to put on its tokens.

#include <openssl/evp.h>
#include <openssl/x509.h>

#include <QByteArray>
#include <QFile>
#include <QRegularExpression>
#include <QString>
#include <QStringList>
#include <cstdlib>
#include <fstream>
#include <memory>
#include <string>

#include "TempDirectory.h"

namespace kelvo::test {

class ScriptedPkcs11 {
 public:
  ScriptedPkcs11() {
    ::setenv("KELVO_P11_SCRIPT", directory.file("script").c_str(), 1);
    ::setenv("KELVO_P11_CALLS", directory.file("calls").c_str(), 1);
    std::ofstream(directory.file("script"), std::ios::trunc);
  }
  ~ScriptedPkcs11() {
    ::unsetenv("KELVO_P11_SCRIPT");
    ::unsetenv("KELVO_P11_CALLS");
  }

  static QString modulePath() { return QStringLiteral(KELVO_SCRIPTED_PKCS11_MODULE); }

  void add(const std::string& line) { std::ofstream(directory.file("script"), std::ios::app) << line << "\n"; }

  QStringList calls() const {
    QFile file(QString::fromStdString(directory.file("calls")));
    if (!file.open(QIODevice::ReadOnly)) return {};
    return QString::fromUtf8(file.readAll()).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
  }
  QStringList callsStartingWith(const QString& prefix) const {
    return calls().filter(QRegularExpression("^" + prefix));
  }

  // A self-signed certificate whose subject common name is `holder`, as a DER file; its path.
  std::string certificateFor(const std::string& holder) {
    std::unique_ptr<EVP_PKEY, decltype(&EVP_PKEY_free)> key(EVP_EC_gen("P-256"), EVP_PKEY_free);
    std::unique_ptr<X509, decltype(&X509_free)> certificate(X509_new(), X509_free);
    X509_set_version(certificate.get(), 2);
    ASN1_INTEGER_set(X509_get_serialNumber(certificate.get()), ++serial);
    X509_gmtime_adj(X509_getm_notBefore(certificate.get()), 0);
    X509_gmtime_adj(X509_getm_notAfter(certificate.get()), 3600);
    X509_NAME* name = X509_get_subject_name(certificate.get());
    X509_NAME_add_entry_by_txt(name, "O", MBSTRING_UTF8, reinterpret_cast<const unsigned char*>("Kelvo tests"), -1, -1,
                               0);
    X509_NAME_add_entry_by_txt(name, "CN", MBSTRING_UTF8, reinterpret_cast<const unsigned char*>(holder.c_str()), -1,
                               -1, 0);
    X509_set_issuer_name(certificate.get(), name);
    X509_set_pubkey(certificate.get(), key.get());
    X509_sign(certificate.get(), key.get(), EVP_sha256());
    unsigned char* der = nullptr;
    const int length = i2d_X509(certificate.get(), &der);
    std::string path = directory.file("certificate-" + std::to_string(serial) + ".der");
    std::ofstream(path, std::ios::binary).write(reinterpret_cast<const char*>(der), length);
    OPENSSL_free(der);
    return path;
  }

 private:
  TempDirectory directory;
  long serial = 0;
};

}  // namespace kelvo::test
