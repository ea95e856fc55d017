// SPDX-License-Identifier: Apache-2.0
#include "ReleaseSigner.h"

#include <openssl/evp.h>
#include <openssl/pem.h>

#include <cstdio>
#include <memory>

namespace {

struct FileClose {
  void operator()(FILE* file) const { std::fclose(file); }
};
struct MdContextFree {
  void operator()(EVP_MD_CTX* context) const { EVP_MD_CTX_free(context); }
};

}  // namespace

ReleaseSigner::~ReleaseSigner() { EVP_PKEY_free(key); }

bool ReleaseSigner::loadKey(const std::string& pemPath, std::string& error) {
  std::unique_ptr<FILE, FileClose> file(std::fopen(pemPath.c_str(), "rb"));
  if (!file) {
    error = "cannot open " + pemPath;
    return false;
  }
  EVP_PKEY* loaded = PEM_read_PrivateKey(file.get(), nullptr, nullptr, nullptr);
  if (loaded == nullptr || EVP_PKEY_id(loaded) != EVP_PKEY_ED25519) {
    EVP_PKEY_free(loaded);
    error = pemPath + " is not an Ed25519 private key in PEM form";
    return false;
  }
  EVP_PKEY_free(key);
  key = loaded;
  return true;
}

std::string ReleaseSigner::base64(const std::vector<unsigned char>& bytes) {
  std::string text(4 * ((bytes.size() + 2) / 3) + 1, '\0');
  const int written =
      EVP_EncodeBlock(reinterpret_cast<unsigned char*>(&text[0]), bytes.data(), static_cast<int>(bytes.size()));
  text.resize(static_cast<size_t>(written));
  return text;
}

bool ReleaseSigner::sign(const std::vector<unsigned char>& package, std::string& signatureBase64,
                         std::string& error) const {
  std::unique_ptr<EVP_MD_CTX, MdContextFree> context(EVP_MD_CTX_new());
  std::vector<unsigned char> signature(64);
  size_t length = signature.size();
  if (!context || EVP_DigestSignInit(context.get(), nullptr, nullptr, nullptr, key) != 1 ||
      EVP_DigestSign(context.get(), signature.data(), &length, package.data(), package.size()) != 1) {
    error = "signing failed";
    return false;
  }
  signature.resize(length);
  signatureBase64 = base64(signature);
  return true;
}

bool ReleaseSigner::publicKey(std::string& keyBase64, std::string& error) const {
  std::vector<unsigned char> raw(32);
  size_t length = raw.size();
  if (key == nullptr || EVP_PKEY_get_raw_public_key(key, raw.data(), &length) != 1 || length != raw.size()) {
    error = "no public key";
    return false;
  }
  keyBase64 = base64(raw);
  return true;
}
