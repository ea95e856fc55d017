// SPDX-License-Identifier: Apache-2.0
#include "firmware/PackageSignature.h"

#include <openssl/evp.h>

#include <memory>

namespace {

constexpr int kEd25519KeyBytes = 32;
constexpr int kEd25519SignatureBytes = 64;

struct PkeyFree {
  void operator()(EVP_PKEY* key) const { EVP_PKEY_free(key); }
};
struct MdContextFree {
  void operator()(EVP_MD_CTX* context) const { EVP_MD_CTX_free(context); }
};

// Strict decoding: a key or signature with stray characters is refused rather than read in part.
bool decodeBase64(const QByteArray& text, int expectedBytes, QByteArray& bytes) {
  const QByteArray::FromBase64Result result =
      QByteArray::fromBase64Encoding(text.trimmed(), QByteArray::AbortOnBase64DecodingErrors);
  if (!result || result.decoded.size() != expectedBytes) return false;
  bytes = result.decoded;
  return true;
}

}  // namespace

QByteArray PackageSignature::builtInPublicKey() { return QByteArrayLiteral(KELVO_FIRMWARE_PUBLIC_KEY); }

bool PackageSignature::verify(const QByteArray& package, const QString& signatureBase64,
                              const QByteArray& publicKeyBase64) {
  QByteArray key;
  QByteArray signature;
  if (!decodeBase64(publicKeyBase64, kEd25519KeyBytes, key) ||
      !decodeBase64(signatureBase64.toLatin1(), kEd25519SignatureBytes, signature)) {
    return false;
  }
  std::unique_ptr<EVP_PKEY, PkeyFree> publicKey(EVP_PKEY_new_raw_public_key(
      EVP_PKEY_ED25519, nullptr, reinterpret_cast<const unsigned char*>(key.constData()), kEd25519KeyBytes));
  std::unique_ptr<EVP_MD_CTX, MdContextFree> context(EVP_MD_CTX_new());
  if (!publicKey || !context) return false;
  // Ed25519 signs the message itself, so there is no digest to name.
  if (EVP_DigestVerifyInit(context.get(), nullptr, nullptr, nullptr, publicKey.get()) != 1) return false;
  return EVP_DigestVerify(context.get(), reinterpret_cast<const unsigned char*>(signature.constData()),
                          static_cast<size_t>(signature.size()),
                          reinterpret_cast<const unsigned char*>(package.constData()),
                          static_cast<size_t>(package.size())) == 1;
}
