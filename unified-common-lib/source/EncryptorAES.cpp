// SPDX-License-Identifier: Apache-2.0
#include "trevalon/EncryptorAES.h"

#include <openssl/evp.h>

#include "trevalon/common/Log.h"
#include "trevalon/common/ScopeTrace.h"

namespace trevalon {
namespace {

EVP_CIPHER_CTX* makeContext(const std::vector<uint8_t>& key, bool encrypting) {
  if (key.size() != EncryptorAES::kKeySize) {
    return nullptr;
  }
  EVP_CIPHER_CTX* context = EVP_CIPHER_CTX_new();
  if (context == nullptr) {
    return nullptr;
  }
  if (EVP_CipherInit_ex(context, EVP_aes_256_ecb(), nullptr, key.data(), nullptr, encrypting ? 1 : 0) != 1 ||
      EVP_CIPHER_CTX_set_padding(context, 0) != 1) {
    EVP_CIPHER_CTX_free(context);
    return nullptr;
  }
  return context;
}

}  // namespace

EncryptorAES::EncryptorAES(const std::vector<uint8_t>& key) {
  TREVALON_TRACE();
  encryptContext = makeContext(key, true);
  if (encryptContext == nullptr) {
    TREVALON_LOG(error, "AES_set_encrypt_key failed with %i", -1);
  }
  decryptContext = makeContext(key, false);
  if (decryptContext == nullptr) {
    TREVALON_LOG(error, "AES_set_decrypt_key failed with %i", -1);
  }
}

EncryptorAES::~EncryptorAES() {
  EVP_CIPHER_CTX_free(encryptContext);
  EVP_CIPHER_CTX_free(decryptContext);
}

bool EncryptorAES::cryptBlocks(EVP_CIPHER_CTX* context, const std::vector<uint8_t>& in, std::vector<uint8_t>& out) {
  if (context == nullptr) {
    TREVALON_LOG(error, "AES key is not set up");
    return false;
  }
  out.assign(in.size() + kBlockSize, 0);
  int produced = 0;
  int finished = 0;
  std::lock_guard<std::mutex> guard(lock);
  // Re-initialising with no key keeps the key schedule and resets the stream state.
  if (EVP_CipherInit_ex(context, nullptr, nullptr, nullptr, nullptr, -1) != 1 ||
      EVP_CipherUpdate(context, out.data(), &produced, in.data(), static_cast<int>(in.size())) != 1 ||
      EVP_CipherFinal_ex(context, out.data() + produced, &finished) != 1) {
    TREVALON_LOG(error, "AES block operation failed");
    return false;
  }
  out.resize(static_cast<size_t>(produced) + static_cast<size_t>(finished));
  return true;
}

std::vector<uint8_t> EncryptorAES::encrypt(std::vector<uint8_t> plain) {
  TREVALON_TRACE();
  const size_t padding = kBlockSize - (plain.size() % kBlockSize);
  plain.insert(plain.end(), padding, static_cast<uint8_t>(padding));
  std::vector<uint8_t> cipher;
  if (!cryptBlocks(encryptContext, plain, cipher)) {
    return {};
  }
  return cipher;
}

std::optional<std::vector<uint8_t>> EncryptorAES::decrypt(std::vector<uint8_t> data) {
  TREVALON_TRACE();
  if (data.empty() || data.size() % kBlockSize != 0) {
    TREVALON_LOG(error, "Invalid size %zu", data.size());
    return std::nullopt;
  }
  std::vector<uint8_t> plain;
  if (!cryptBlocks(decryptContext, data, plain) || plain.size() != data.size()) {
    return std::nullopt;
  }
  const uint8_t padding = plain.back();
  if (padding < 1 || padding > kBlockSize) {
    TREVALON_LOG(error, "Invalid padding size %i", static_cast<int>(padding));
    return std::nullopt;
  }
  for (size_t i = plain.size() - padding; i < plain.size(); ++i) {
    if (plain[i] != padding) {
      TREVALON_LOG(error, "Invalid padding");
      return std::nullopt;
    }
  }
  plain.resize(plain.size() - padding);
  return plain;
}

}  // namespace trevalon
