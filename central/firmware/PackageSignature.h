// SPDX-License-Identifier: Apache-2.0
#pragma once
// Checks a firmware package against the Ed25519 signature the feed gives for it. The public key is the one this
// program was built with: nothing at run time can make it trust another.

#include <QByteArray>
#include <QString>

class PackageSignature {
 public:
  // The key compiled into the program: 44 characters of Base64 for its 32 bytes.
  static QByteArray builtInPublicKey();

  // True only when signatureBase64 is a valid Ed25519 signature of the whole package under publicKeyBase64.
  static bool verify(const QByteArray& package, const QString& signatureBase64, const QByteArray& publicKeyBase64);
};
